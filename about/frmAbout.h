// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QPlainTextEdit;

namespace gv {

// The About window: what the program and the identifier are, the definitions
// package it carries, the terms of use, and three links opened through the
// shell. It keeps no state: every showing builds it afresh from its design.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    // Link targets, handed to the shell unchanged.
    static const QString kHomePage;      // Label2(2)
    static const QString kDefsListPage;  // Label7
    static const QString kChangeLogFeed; // Image1

    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // Builds a fresh window, centres it on the screen and runs it modally;
    // returns when it is closed. The parent, when given, decides which screen
    // it appears on, and the window manager keeps the two together.
    static void showModalAbout(QWidget* parent = nullptr);

    // Test seam: when set, showModalAbout hands the window, already shown
    // and modal, to the inspector from inside its modal loop; whatever the
    // inspector does, the window is closed afterwards, so nothing waits for
    // a person. Pass an empty function to remove it.
    using Inspector = std::function<void(frmAbout&)>;
    static void setInspector(Inspector inspector);

    // Click handlers, one per clickable control; Label2 is an array of two
    // members (0 and 2) sharing one handler that receives the index.
    void Label2_Click(int index);
    void Label7_Click();
    void Image1_Click();

    QLabel* Label2(int index) const;

private:
    void buildControls();

    std::array<QLabel*, 3> m_label2{}; // members 0 and 2; 1 stays empty
    QLabel* m_label7 = nullptr;
    QLabel* m_image1 = nullptr;
    QPlainTextEdit* m_text1 = nullptr;
};

} // namespace gv
