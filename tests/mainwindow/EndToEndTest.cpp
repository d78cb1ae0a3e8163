// SPDX-License-Identifier: GPL-3.0-or-later
// From a choice to a report with the real identifier: the window's
// requests run "cmd /c vonk ..." in a folder holding the identifier and its
// database, as deployed, and the report streams into the pane.
//
// With GV_SCREENSHOT set to a file name, the window is shown and a picture
// of it after the folder scan is written there.

#include "RequestTestSupport.h"

#include "frmDOSOutput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <zlib.h>

using gv::frmDOSOutput;
using namespace reqtest;

namespace {

const QString kDone = QStringLiteral("Lettura completa");

QByteArray pngChunk(const char* type, const QByteArray& body)
{
    QByteArray chunk;
    const quint32 length = quint32(body.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += char((length >> shift) & 0xFF);
    const QByteArray typed = QByteArray(type) + body;
    chunk += typed;
    const quint32 crc = quint32(::crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size())));
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += char((crc >> shift) & 0xFF);
    return chunk;
}

// A valid one-pixel PNG image.
QByteArray pngImage()
{
    const QByteArray header("\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00", 13);
    const QByteArray row("\x00\x00\x00\x00", 4);
    QByteArray packed(64, '\0');
    uLongf packedSize = uLongf(packed.size());
    ::compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(row.constData()), uLong(row.size()));
    packed.resize(qsizetype(packedSize));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", packed) + pngChunk("IEND", {});
}

void putLE(QByteArray& out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

// A ZIP archive holding one stored file.
QByteArray zipArchive()
{
    const QByteArray name("leggimi.txt");
    const QByteArray body("ciao\n");
    const quint32 crc = quint32(::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size())));
    QByteArray zip;
    putLE(zip, 0x04034b50, 4);
    putLE(zip, 20, 2); putLE(zip, 0, 2); putLE(zip, 0, 2); putLE(zip, 0, 2); putLE(zip, 0, 2);
    putLE(zip, crc, 4); putLE(zip, quint32(body.size()), 4); putLE(zip, quint32(body.size()), 4);
    putLE(zip, quint32(name.size()), 2); putLE(zip, 0, 2);
    zip += name + body;
    const quint32 central = quint32(zip.size());
    putLE(zip, 0x02014b50, 4);
    putLE(zip, 20, 2); putLE(zip, 20, 2); putLE(zip, 0, 2); putLE(zip, 0, 2); putLE(zip, 0, 2); putLE(zip, 0, 2);
    putLE(zip, crc, 4); putLE(zip, quint32(body.size()), 4); putLE(zip, quint32(body.size()), 4);
    putLE(zip, quint32(name.size()), 2); putLE(zip, 0, 2); putLE(zip, 0, 2); putLE(zip, 0, 2); putLE(zip, 0, 2);
    putLE(zip, 0, 4); putLE(zip, 0, 4);
    zip += name;
    const quint32 centralSize = quint32(zip.size()) - central;
    putLE(zip, 0x06054b50, 4);
    putLE(zip, 0, 2); putLE(zip, 0, 2); putLE(zip, 1, 2); putLE(zip, 1, 2);
    putLE(zip, centralSize, 4); putLE(zip, central, 4); putLE(zip, 0, 2);
    return zip;
}

// The part of a name that any report shows unchanged: up to its first
// backslash, control character or byte outside ASCII.
QString plainPrefix(const std::string& name)
{
    std::string prefix;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '\\')
            break;
        prefix += c;
    }
    return QString::fromStdString(prefix);
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void fileReports_data();
    void fileReports();
    void folderOfThreeFiles();
    void awkwardNamesAreIdentifiedByTheirRealNames();
    void wildcardCharactersInRealNames();

private:
    QString report() const { return m_w->txtOutputs()->toPlainText(); }
    void runFile(const QString& path);

    std::unique_ptr<Seams> m_seams;
    std::unique_ptr<frmDOSOutput> m_w;
    QTemporaryDir m_deployed;
    QTemporaryDir m_data;
};

void EndToEndTest::initTestCase()
{
    QVERIFY(m_deployed.isValid() && m_data.isValid());
    // The identifier and its database, as the window deploys them.
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& name : { QStringLiteral("vonk"), QStringLiteral("VonkDefs.vkd") }) {
        const QString source = bin + QLatin1Char('/') + name;
        QVERIFY2(QFile::exists(source), qPrintable(source + QStringLiteral(" is not built")));
        QVERIFY(QFile::copy(source, m_deployed.filePath(name)));
    }
    QFile::setPermissions(m_deployed.filePath(QStringLiteral("vonk")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void EndToEndTest::init()
{
    m_seams = std::make_unique<Seams>();
    m_w = std::make_unique<frmDOSOutput>();
    m_w->objDOS()->setWorkingDirectory(m_deployed.path().toStdString());
    m_w->Option1(4)->setChecked(true);
}

void EndToEndTest::cleanup()
{
    m_w.reset();
    m_seams.reset();
    emptyFolder(bytesOf(m_data.path()));
}

void EndToEndTest::runFile(const QString& path)
{
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_seams->choose(path);
    m_w->cmdFile_Click();
    QVERIFY(waitForRun(finished));
}

void EndToEndTest::fileReports_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("verbose");
    QTest::newRow("png") << QStringLiteral("immagine.png") << pngImage() << QStringLiteral("PNG image") << false;
    QTest::newRow("png, verbose") << QStringLiteral("immagine.png") << pngImage() << QStringLiteral("PNG image") << true;
    QTest::newRow("zip") << QStringLiteral("archivio.zip") << zipArchive() << QStringLiteral("ZIP archive") << false;
    QTest::newRow("png named .zip") << QStringLiteral("finto.zip") << pngImage() << QStringLiteral("PNG image") << false;
}

void EndToEndTest::fileReports()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, type);
    QFETCH(bool, verbose);
    const QString path = m_data.filePath(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    m_w->ckVerbose()->setChecked(verbose);

    runFile(path);
    const QString text = report();
    QVERIFY2(text.startsWith(path), qPrintable(text));
    QVERIFY2(text.contains(type), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("-> output: idle")));
    if (verbose)
        QVERIFY2(text.contains(QStringLiteral("matched")), qPrintable(text));
    QCOMPARE(m_seams->prompts().back(), kDone);
}

void EndToEndTest::folderOfThreeFiles()
{
    const QString folder = m_data.filePath(QStringLiteral("tre file"));
    QVERIFY(QDir().mkpath(folder));
    const QList<QPair<QString, QByteArray>> files = {
        { QStringLiteral("a.png"), pngImage() },
        { QStringLiteral("b.zip"), zipArchive() },
        { QStringLiteral("c.txt"), QByteArray("Una riga di testo semplice.\nE un'altra.\n") },
    };
    for (const auto& [name, content] : files) {
        QFile file(folder + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    const QByteArray screenshot = qgetenv("GV_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    }
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_seams->choose(folder);
    m_w->cmdCartella_Click();
    QVERIFY(waitForRun(finished));

    const QString text = report();
    for (const auto& [name, content] : files)
        QVERIFY2(text.contains(folder + QLatin1Char('/') + name), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("PNG image")));
    QVERIFY(text.contains(QStringLiteral("ZIP archive")));
    QVERIFY(text.contains(QStringLiteral("Text document")));
    QVERIFY(text.indexOf(QStringLiteral("a.png")) < text.indexOf(QStringLiteral("b.zip")));
    QVERIFY(text.indexOf(QStringLiteral("b.zip")) < text.indexOf(QStringLiteral("c.txt")));
    QCOMPARE(m_seams->prompts().back(), kDone);
    QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk ") + m_w->txtCartella()->text() + QLatin1Char('*'));

    // The same folder dropped on the pane gives the same report.
    const auto data = fileList({ bytesOf(folder) });
    QVERIFY(dragAndDrop(m_w->txtOutputs()->viewport(), data.get()));
    QVERIFY(finished.wait(20000));
    QCOMPARE(report(), text);

    if (!screenshot.isEmpty()) {
        QTest::qWait(200);
        QVERIFY(m_w->grab().save(QString::fromLocal8Bit(screenshot)));
    }
}

void EndToEndTest::awkwardNamesAreIdentifiedByTheirRealNames()
{
    const std::string dir = bytesOf(m_data.path()) + "/strani";
    QVERIFY(::mkdir(dir.c_str(), 0755) == 0);
    // A decoy that a name turned into a pattern ("?" for each odd byte)
    // would also catch.
    QVERIFY(writeBytes(dir + "/latin1 zz name.txt", "testo\n"));
    const QByteArray png = pngImage();
    int index = 0;
    for (const std::string& name : awkwardNames()) {
        const std::string path = dir + "/" + name;
        QVERIFY(writeBytes(path, png.toStdString()));
        QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
        const bool utf8 = QString::fromUtf8(name).toUtf8().toStdString() == name;
        if (utf8 && index % 2 == 0) {
            m_seams->choose(QString::fromUtf8(path));
            m_w->cmdFile_Click();
        } else {
            const auto data = fileList({ path });
            QVERIFY(dragAndDrop(index % 2 ? m_w->txtOutputs()->viewport() : m_w.get(), data.get()));
        }
        ++index;
        QVERIFY2(waitForRun(finished), name.c_str());
        const QString text = report();
        // One file reported, by its own name, as what it is.
        QVERIFY2(text.startsWith(QString::fromStdString(dir) + QLatin1Char('/') + plainPrefix(name)), qPrintable(text));
        QCOMPARE(text.count(QString::fromStdString(dir)), 1);
        QVERIFY2(text.contains(QStringLiteral("PNG image")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("error")), qPrintable(text));
        QCOMPARE(m_seams->prompts().back(), kDone);
    }
    // Nothing in any name ran as a command.
    for (const QString& folder : { m_deployed.path(), m_data.path(), QString::fromStdString(dir), QDir::currentPath() })
        QVERIFY2(!QFile::exists(folder + QStringLiteral("/x")), qPrintable(folder));

    // All of them at once, through a folder drop.
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    const auto data = fileList({ dir });
    QVERIFY(dragAndDrop(m_w.get(), data.get()));
    QVERIFY(waitForRun(finished));
    QCOMPARE(report().count(QStringLiteral("PNG image")), int(awkwardNames().size()));
    QVERIFY(!QFile::exists(m_deployed.filePath(QStringLiteral("x"))));
}

// A file request identifies exactly the chosen file, even one named "a*"
// beside "ab" and "ac", and says so when it has gone before the answer.
void EndToEndTest::wildcardCharactersInRealNames()
{
    const std::string png = pngImage().toStdString();
    const std::string e = bytesOf(m_data.path()) + "/e";
    QVERIFY(::mkdir(e.c_str(), 0755) == 0);
    for (const char* name : { "a*", "ab", "ac" })
        QVERIFY(writeBytes(e + "/" + name, png));
    const QString chosen = QString::fromStdString(e + "/a*");
    for (const bool goneBeforeTheAnswer : { false, true }) {
        gv::SetMsgBoxAnswerer([chosen, goneBeforeTheAnswer](const gv::MsgBoxRequest& request, QMessageBox*) {
            if ((request.style & 0x0F) != gv::vbYesNo)
                return int(gv::vbOK);
            if (goneBeforeTheAnswer)
                QFile::remove(chosen);
            return int(gv::vbYes);
        });
        QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
        m_seams->choose(chosen);
        m_w->cmdFile_Click();
        QVERIFY(waitForRun(finished));
        const QString text = report();
        QVERIFY2(text.startsWith(chosen + QLatin1Char('\n')), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("/ab")) && !text.contains(QStringLiteral("/ac")), qPrintable(text));
        QCOMPARE(text.contains(QStringLiteral("PNG image")), !goneBeforeTheAnswer);
        QCOMPARE(text.contains(QStringLiteral("error: no such file")), goneBeforeTheAnswer);
    }
}

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
