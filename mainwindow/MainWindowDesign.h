#pragma once

#include "ConsolePane.h"

#include <QString>

#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace gv {

// The main window's controls as designed: names, places, texts, fonts,
// colours and first states, and the frame pieces. Built once onto the form;
// what the controls do is the window's.
class MainWindowDesign {
public:
    // Designed client size in pixels (8790 x 6015 twips).
    static constexpr int DesignWidth = 586;
    static constexpr int DesignHeight = 401;

    // Controls, named as designed.
    QFrame* Picture1() const { return m_Picture1; }
    QPlainTextEdit* Text1() const { return m_Text1; }
    QLabel* Label6() const { return m_Label6; }
    QLabel* Image78() const { return m_Image78; }
    QCheckBox* Check2() const { return m_Check2; }
    QCheckBox* Check1() const { return m_Check1; }
    QCheckBox* ckVerbose() const { return m_ckVerbose; }
    QLineEdit* txtCartella() const { return m_txtCartella; }
    QRadioButton* Option1(int index) const;
    QLineEdit* txtFile() const { return m_txtFile; }
    QPushButton* cmdFile() const { return m_cmdFile; }
    QPushButton* cmdCartella() const { return m_cmdCartella; }
    QComboBox* txtCommand() const { return m_txtCommand; }
    QPushButton* cmdExit() const { return m_cmdExit; }
    ConsolePane* txtOutputs() const { return m_txtOutputs; }
    QPushButton* cmdExecute() const { return m_cmdExecute; }
    QPushButton* cmdStop() const { return m_cmdStop; }
    QLabel* Label7() const { return m_Label7; }
    QLabel* LabelTOP() const { return m_LabelTOP; }
    QLabel* Label9() const { return m_Label9; }
    QLabel* Label8() const { return m_Label8; }
    QLabel* Label2(int index) const;
    QLabel* Label5() const { return m_Label5; }
    QLabel* Label1() const { return m_Label1; }
    QLabel* lblControl() const { return m_lblControl; }
    QLabel* Label4() const { return m_Label4; }
    QLabel* Label3() const { return m_Label3; }
    // Frame pieces Image1 .. Image10.
    QLabel* Image(int number) const;

    // Addresses shown by the link labels.
    static QString identifierAuthorMail();
    static QString programAuthorMail();
    static QString distributionHomePage();
    static QString contactPage();

protected:
    // Twips to pixels at 96 dots per inch.
    static int twips(int value);
    void buildDesign(QWidget* form);

    QFrame* m_Picture1 = nullptr;
    QPlainTextEdit* m_Text1 = nullptr;
    QLabel* m_Label6 = nullptr;
    QLabel* m_Image78 = nullptr;
    QCheckBox* m_Check2 = nullptr;
    QCheckBox* m_Check1 = nullptr;
    QCheckBox* m_ckVerbose = nullptr;
    QLineEdit* m_txtCartella = nullptr;
    std::array<QRadioButton*, 5> m_Option1 {};
    QLineEdit* m_txtFile = nullptr;
    QPushButton* m_cmdFile = nullptr;
    QPushButton* m_cmdCartella = nullptr;
    QComboBox* m_txtCommand = nullptr;
    QPushButton* m_cmdExit = nullptr;
    ConsolePane* m_txtOutputs = nullptr;
    QPushButton* m_cmdExecute = nullptr;
    QPushButton* m_cmdStop = nullptr;
    QLabel* m_Label7 = nullptr;
    QLabel* m_LabelTOP = nullptr;
    QLabel* m_Label9 = nullptr;
    QLabel* m_Label8 = nullptr;
    std::array<QLabel*, 5> m_Label2 {};
    QLabel* m_Label5 = nullptr;
    QLabel* m_Label1 = nullptr;
    QLabel* m_lblControl = nullptr;
    QLabel* m_Label4 = nullptr;
    QLabel* m_Label3 = nullptr;
    std::array<QLabel*, 10> m_Image {};


private:
    void buildFrame(QWidget* form);
    void buildControls(QWidget* form);
    void applyTabOrder();
};

} // namespace gv
