// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommonDialog.h"
#include "QtPlacement.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct SeenDialog {
    QRect frame;
    QString directory;
    QStringList selected;
    QStringList nameFilters;
    QString selectedNameFilter;
    QString title;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    bool native = true;
    bool visible = false;
    QWidget* parent = nullptr;
};

class CommonDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        gv::SetDialogPlacement(0, 0);
        owner.setGeometry(120, 90, 401, 301);
        owner.show();
    }
    void TearDown() override
    {
        gv::SetDialogAnswerer({});
        gv::SetDialogPlacement(0, 0);
    }

    // Records the open dialog and answers it.
    void answer(bool accept, const QString& path = {})
    {
        gv::SetDialogAnswerer([this, accept, path](QFileDialog* d) {
            SeenDialog s;
            s.frame = d->frameGeometry();
            s.directory = d->directory().absolutePath();
            s.selected = d->selectedFiles();
            s.nameFilters = d->nameFilters();
            s.selectedNameFilter = d->selectedNameFilter();
            s.title = d->windowTitle();
            s.acceptMode = d->acceptMode();
            s.fileMode = d->fileMode();
            s.native = !d->testOption(QFileDialog::DontUseNativeDialog);
            s.visible = d->isVisible();
            s.parent = d->parentWidget();
            seen.push_back(s);
            return gv::DialogAnswer{accept, path};
        });
    }

    QTemporaryDir tmp;
    QWidget owner;
    std::vector<SeenDialog> seen;
};

TEST_F(CommonDialogTest, FileDialogResultsOnConfirmAndCancel)
{
    struct Case {
        QString fileName;
        bool accept;
        QString chosen;
        QString expected;
    };
    const QString longPath = QStringLiteral("/") + QString(300, QLatin1Char('d')) + QStringLiteral("/") +
                             QString(250, QLatin1Char('f')) + QStringLiteral(".txt");
    const Case cases[] = {
        {QStringLiteral("x.txt"), false, {}, QStringLiteral("x.txt")},
        {QString(), false, {}, QString()},
        {QStringLiteral("/data/x.txt"), false, {}, QStringLiteral("/data/x.txt")},
        {QString(), true, QStringLiteral("/srv/chosen file.bin"), QStringLiteral("/srv/chosen file.bin")},
        {QStringLiteral("x.txt"), true, longPath, longPath},
        {QString(), true, QStringLiteral("/cut") + QChar(u'\0') + QStringLiteral("junk"),
         QStringLiteral("/cut")},
        {QStringLiteral("keep.me"), true, QString(), QStringLiteral("keep.me")},
    };
    for (const Case& c : cases) {
        answer(c.accept, c.chosen);
        EXPECT_EQ(gv::ShowFileDialog(&owner, true, QString(), c.fileName), c.expected) << c.fileName.toStdString();
    }
    ASSERT_EQ(seen.size(), std::size(cases));
    for (const SeenDialog& s : seen) {
        EXPECT_FALSE(s.native);
        EXPECT_TRUE(s.visible);
        EXPECT_EQ(s.parent, &owner);
    }
}

TEST_F(CommonDialogTest, FileDialogOpensInTheFoldersOfItsArguments)
{
    QDir(tmp.path()).mkpath(QStringLiteral("in.d"));
    const QString folder = tmp.path() + QStringLiteral("/in.d/");
    answer(false);
    gv::ShowFileDialog(&owner, true, QStringLiteral("Apri"), folder + QStringLiteral("name.txt"),
                       gv::MakeDialogFilter(gv::MakeDialogFilter(QString(), QStringLiteral("Text"),
                                                                 QStringLiteral("*.txt")),
                                            QStringLiteral("All files (*.*)")),
                       2);
    gv::ShowFileDialog(&owner);
    std::optional<int> flags;
    gv::ShowFileDialog(&owner, false, QString(), QString(), QString(), 1, QString(), &flags);
    EXPECT_EQ(flags, gv::kSaveDialogFlags);
    std::optional<int> openFlags;
    gv::ShowFileDialog(&owner, true, QString(), QString(), QString(), 1, QString(), &openFlags);
    EXPECT_EQ(openFlags, gv::kOpenDialogFlags);
    std::optional<int> given = 0x1000;
    gv::ShowFileDialog(&owner, true, QString(), QString(), QString(), 1, QString(), &given);
    EXPECT_EQ(given, 0x1000);

    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].directory, QDir(folder).absolutePath());
    EXPECT_EQ(seen[0].selected, QStringList{folder + QStringLiteral("name.txt")});
    EXPECT_EQ(seen[0].title, QStringLiteral("Apri"));
    EXPECT_EQ(seen[0].nameFilters,
              (QStringList{QStringLiteral("Text (*.txt)"), QStringLiteral("All files (*.*) (*)")}));
    // Shown without the patterns Qt matches with: the second pair, as asked.
    EXPECT_EQ(seen[0].selectedNameFilter, QStringLiteral("All files (*.*)"));
    EXPECT_EQ(seen[0].acceptMode, QFileDialog::AcceptOpen);
    EXPECT_EQ(seen[1].directory, QDir::currentPath());
    EXPECT_EQ(seen[2].acceptMode, QFileDialog::AcceptSave);
}

TEST_F(CommonDialogTest, AllFilesFilterShowsNamesWithoutADot)
{
    // Qt reads "*.*" literally: a name needs a dot to match it.
    ASSERT_FALSE(QDir::match(QStringList{QStringLiteral("*.*")}, QStringLiteral("README")));
    QStringList modelFilters;
    gv::SetDialogAnswerer([&modelFilters](QFileDialog* d) {
        // The dialog lists entries through its file system model.
        if (auto* model = d->findChild<QFileSystemModel*>())
            modelFilters = model->nameFilters();
        return gv::DialogAnswer{};
    });
    gv::ShowFileDialog(&owner, true, QString(), tmp.path() + QStringLiteral("/"),
                       gv::MakeDialogFilter(QString(), QStringLiteral("All files (*.*)")));
    ASSERT_FALSE(modelFilters.isEmpty());
    EXPECT_TRUE(QDir::match(modelFilters, QStringLiteral("README")));
    EXPECT_TRUE(QDir::match(modelFilters, QStringLiteral("a.txt")));
}

TEST_F(CommonDialogTest, FolderDialogResults)
{
    struct Case {
        std::optional<QString> initial;
        bool accept;
        QString chosen;
        QString expected;
    };
    const Case cases[] = {
        {QStringLiteral("/data"), false, {}, QStringLiteral("/data/")},
        {QStringLiteral("/data/"), false, {}, QStringLiteral("/data/")},
        {QString(), false, {}, QString()},
        {std::nullopt, false, {}, QDir::currentPath() + QStringLiteral("/")},
        {QStringLiteral("/data"), true, QStringLiteral("/srv/pick"), QStringLiteral("/srv/pick/")},
        {QString(), true, QStringLiteral("/"), QStringLiteral("/")},
        {QStringLiteral("/data"), true, QString(), QStringLiteral("/data/")},
    };
    for (const Case& c : cases) {
        answer(c.accept, c.chosen);
        EXPECT_EQ(gv::BrowseForFolder(&owner, QStringLiteral("Scegli"), c.initial), c.expected);
    }
    ASSERT_EQ(seen.size(), std::size(cases));
    EXPECT_EQ(seen[0].fileMode, QFileDialog::Directory);
    EXPECT_EQ(seen[0].title, QStringLiteral("Scegli"));
    EXPECT_FALSE(seen[0].native);

    std::optional<int> flags;
    answer(false);
    gv::BrowseForFolder(&owner, QString(), QString(), &flags);
    EXPECT_EQ(flags, gv::kFolderDialogFlags);
}

TEST_F(CommonDialogTest, FolderDialogOpensWithTheInitialFolderSelected)
{
    const QString initial = tmp.path() + QStringLiteral("/start here");
    ASSERT_TRUE(QDir().mkpath(initial));
    // Confirming without choosing anything picks what the dialog selected.
    gv::SetDialogAnswerer([](QFileDialog* d) {
        const QStringList s = d->selectedFiles();
        return gv::DialogAnswer{true, s.value(0)};
    });
    EXPECT_EQ(gv::BrowseForFolder(&owner, QString(), initial), initial + QStringLiteral("/"));
    EXPECT_EQ(gv::BrowseForFolder(&owner, QString(), initial + QStringLiteral("/")), initial + QStringLiteral("/"));
}

TEST_F(CommonDialogTest, DialogOpensWhereThePlacementModeSays)
{
    QCursor::setPos(250, 200);
    const QPoint pointer = QCursor::pos();
    for (int mode = 1; mode <= 4; ++mode) {
        SCOPED_TRACE(mode);
        seen.clear();
        gv::SetDialogPlacement(mode, 30);
        answer(false);
        gv::ShowFileDialog(&owner, true, QString(), QStringLiteral("x.txt"));
        gv::BrowseForFolder(&owner, QString(), QStringLiteral("/"));
        ASSERT_EQ(seen.size(), 2u);
        for (const SeenDialog& s : seen) {
            gv::PlacementInput in;
            in.workArea = gv::ToRect(QGuiApplication::primaryScreen()->availableGeometry());
            in.reference = gv::ToRect(owner.frameGeometry());
            in.window = gv::ToRect(s.frame);
            in.pointer = gv::Point{pointer.x(), pointer.y()};
            in.mode = mode;
            in.shift = 30;
            const gv::Placement p = gv::ComputeWindowPlacement(in);
            EXPECT_EQ(s.frame.topLeft(), QPoint(p.left, p.top));
        }
    }
}

TEST_F(CommonDialogTest, MouseShiftPutsTheDialogBesideThePointer)
{
    // A small dialog, so the expectation can be written out by hand.
    gv::SetDialogPlacement(4, 30);
    QCursor::setPos(100, 300);
    gv::SetDialogAnswerer([this](QFileDialog* d) {
        SeenDialog s;
        s.frame = d->frameGeometry();
        seen.push_back(s);
        return gv::DialogAnswer{};
    });
    gv::ShowFileDialog(&owner);
    ASSERT_EQ(seen.size(), 1u);
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect f = seen[0].frame;
    if (130 + f.width() <= work.right() + 1) {
        EXPECT_EQ(f.left(), 130);
    } else {
        EXPECT_EQ(f.left(), std::max(work.left(), 100 - 30 - f.width()));
    }
    int top = std::max(work.top(), 300 - f.height() / 2);
    if (top + f.height() > work.bottom() + 1)
        top = std::max(work.top(), work.bottom() + 1 - f.height());
    EXPECT_EQ(f.top(), top);
}

TEST_F(CommonDialogTest, NoMoveLeavesTheDialogWhereQtPutsIt)
{
    QCursor::setPos(700, 500);
    gv::SetDialogPlacement(0, 30);
    answer(false);
    gv::ShowFileDialog(&owner, true, QString(), QStringLiteral("x.txt"));
    ASSERT_EQ(seen.size(), 1u);

    // The same dialog shown by Qt alone.
    QFileDialog plain(&owner);
    plain.setOption(QFileDialog::DontUseNativeDialog, true);
    plain.setOption(QFileDialog::HideNameFilterDetails, true);
    plain.setFileMode(QFileDialog::ExistingFile);
    plain.setDirectory(QDir::currentPath());
    plain.selectFile(QStringLiteral("x.txt"));
    plain.show();
    EXPECT_EQ(seen[0].frame, plain.frameGeometry());
    plain.hide();
}

TEST_F(CommonDialogTest, PlacementStateLastsUntilChanged)
{
    gv::SetDialogPlacement(3, 17);
    EXPECT_EQ(gv::DialogPlacementMode(), 3);
    EXPECT_EQ(gv::DialogPlacementShift(), 17);
    answer(false);
    gv::ShowFileDialog(&owner);
    gv::ShowFileDialog(&owner);
    EXPECT_EQ(gv::DialogPlacementMode(), 3);
    EXPECT_EQ(gv::DialogPlacementShift(), 17);
}

TEST(CommonDialogPaths, QtTextOverloadsMatchTheByteRules)
{
    const QString e = QStringLiteral("caf\u00e9 dir");
    EXPECT_EQ(gv::PathFolder(QStringLiteral("/") + e + QStringLiteral("/f.txt")), QStringLiteral("/") + e + QStringLiteral("/"));
    EXPECT_EQ(gv::PathFileName(QStringLiteral("/d/") + e + QStringLiteral(".txt")), e + QStringLiteral(".txt"));
    EXPECT_EQ(gv::AddTrailingBackslash(QString()), QString());
    EXPECT_EQ(gv::AddTrailingBackslash(QStringLiteral("/data")), QStringLiteral("/data/"));
    EXPECT_EQ(gv::TrimAtNull(QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("c")), QStringLiteral("ab"));
    EXPECT_EQ(gv::TrimAtNull(QStringLiteral("abc")), QStringLiteral("abc"));
    const QString f = gv::MakeDialogFilter(QString(), QStringLiteral("All files (*.*)"));
    EXPECT_EQ(f.size(), 20);
    EXPECT_EQ(gv::NameFiltersFromDialogFilter(f), QStringList{QStringLiteral("All files (*.*) (*)")});
}

} // namespace

namespace {

// Without an answerer the dialog runs modally; a timer plays the person.
TEST(CommonDialogModal, CancelledModalDialogGivesTheArgumentBack)
{
    QWidget owner;
    owner.show();
    int attempts = 0;
    bool found = false;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++attempts;
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            found = true;
            d->reject();
        } else if (attempts > 500) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* open = qobject_cast<QFileDialog*>(w))
                    open->reject();
        }
    });
    timer.start();
    EXPECT_EQ(gv::ShowFileDialog(&owner, true, QString(), QStringLiteral("x.txt")), QStringLiteral("x.txt"));
    EXPECT_EQ(gv::BrowseForFolder(&owner, QString(), QStringLiteral("/data")), QStringLiteral("/data/"));
    timer.stop();
    EXPECT_TRUE(found);
}

// A name typed into the modal dialog, confirmed as a person would: the
// default suffix is added only when the name as typed does not exist.
TEST(CommonDialogModal, DefaultSuffixOnlyForNamesThatDoNotExist)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    for (const char* name : {"notes", "notes.txt", "report.txt", "a.b"}) {
        QFile f(tmp.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    struct Case {
        QString typed;
        QString expected;
    };
    const Case cases[] = {
        {QStringLiteral("notes"), QStringLiteral("notes")},
        {QStringLiteral("report"), QStringLiteral("report.txt")},
        {QStringLiteral("a.b"), QStringLiteral("a.b")},
    };
    QWidget owner;
    owner.show();
    for (const Case& c : cases) {
        QTimer timer;
        timer.setInterval(10);
        bool typed = false;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            // A "File not found" box over the dialog: the wrong name was
            // taken. Dismiss it and give up.
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->reject();
                return;
            }
            auto* d = qobject_cast<QFileDialog*>(modal);
            auto* edit = d ? d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            if (!edit)
                return;
            if (typed) {
                d->reject();
                return;
            }
            typed = true;
            edit->setText(c.typed);
            static_cast<QDialog*>(d)->accept(); // as the Open button does
        });
        timer.start();
        EXPECT_EQ(gv::ShowFileDialog(&owner, true, QString(), tmp.path() + QStringLiteral("/"), QString(), 1,
                                     QStringLiteral(".txt")),
                  tmp.filePath(c.expected))
            << c.typed.toStdString();
    }
}

} // namespace
