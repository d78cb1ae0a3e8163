#include "FileHelpers.h"

#include "MsgBox.h"
#include "core/CommandLinePath.h"
#include "runner/ProgramLookup.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QUrl>

#include <utility>

namespace gv {

namespace {

ShellOpener& currentOpener()
{
    static ShellOpener opener;
    return opener;
}

// A "scheme:" prefix of two or more letters makes a link; anything else is
// a file or folder.
bool looksLikeLink(const QString& target)
{
    const QUrl url(target);
    return url.isValid() && url.scheme().size() > 1 && !url.isLocalFile();
}

bool openWithDesktop(const QString& target, const QString& params)
{
    if (looksLikeLink(target))
        return QDesktopServices::openUrl(QUrl(target));
    const QFileInfo info(target);
    if (!info.exists())
        return false;
    if (!params.isEmpty() && info.isFile() && info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(params),
                                       QFile::decodeName(QByteArray::fromStdString(programFolder())));
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

// Flat, yet plainly a button: a one-pixel frame, the face lit while the
// pointer is over it, darker while pressed, and a dotted focus mark whenever
// it has the focus (the platform styles draw theirs only after keyboard
// navigation, so a clicked button would take Enter unseen).
class FlatButtonStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_PushButton || !button || !(button->features & QStyleOptionButton::Flat)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QPalette& pal = button->palette;
        const QRect r = button->rect;
        const bool enabled = button->state & State_Enabled;
        const bool down = button->state & (State_Sunken | State_On);
        const bool hover = enabled && (button->state & State_MouseOver);
        painter->save();
        QColor face = pal.color(QPalette::Button);
        if (down)
            face = face.darker(115);
        else if (hover)
            face = blend(face, pal.color(QPalette::Highlight), 0.22);
        painter->fillRect(r, face);
        painter->setPen(hover || down ? pal.color(QPalette::Highlight) : pal.color(QPalette::Dark));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(r.adjusted(0, 0, -1, -1));
        if (button->state & State_HasFocus) {
            QPen dots(pal.color(QPalette::ButtonText), 1, Qt::DotLine);
            painter->setPen(dots);
            painter->drawRect(r.adjusted(3, 3, -4, -4));
        }
        painter->restore();
        QStyleOptionButton label = *button;
        label.rect = subElementRect(SE_PushButtonContents, button, widget);
        if (down)
            label.rect.translate(1, 1);
        proxy()->drawControl(CE_PushButtonLabel, &label, painter, widget);
    }

    void polish(QWidget* widget) override
    {
        QProxyStyle::polish(widget);
        // The hover highlight needs enter and leave repaints.
        widget->setAttribute(Qt::WA_Hover, true);
    }

private:
    static QColor blend(const QColor& a, const QColor& b, double t)
    {
        return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                                a.blueF() + (b.blueF() - a.blueF()) * t);
    }
};

// One style for every flat button, living as long as the application.
QStyle* flatButtonStyle()
{
    static QPointer<FlatButtonStyle> style;
    if (!style) {
        style = new FlatButtonStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

} // namespace

QString GetShortName(const QString& path)
{
    return QFile::decodeName(QByteArray::fromStdString(EscapedAbsolutePath(QFile::encodeName(path).toStdString())));
}

void OpenWithShell(const QString& target, const QString& params)
{
    if (target.isEmpty())
        return;
    const ShellOpener opener = currentOpener();
    const bool opened = opener ? opener(target, params) : openWithDesktop(target, params);
    if (!opened)
        SystemMsgBox(QStringLiteral("Error jumping to:") + target, vbExclamation, QStringLiteral("Warning"));
}

void SetShellOpener(ShellOpener opener)
{
    currentOpener() = std::move(opener);
}

void MakeControlFlat(QAbstractButton* button)
{
    if (!button)
        return;
    if (auto* push = qobject_cast<QPushButton*>(button)) {
        push->setFlat(true);
        push->setStyle(flatButtonStyle());
    }
    else if (auto* tool = qobject_cast<QToolButton*>(button))
        tool->setAutoRaise(true);
    button->setVisible(true);
}

} // namespace gv
