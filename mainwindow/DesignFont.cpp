#include "DesignFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace gv {

namespace {

bool installed(const QString& family)
{
    const QStringList families = QFontDatabase::families();
    return families.contains(family, Qt::CaseInsensitive);
}

// Metric-compatible faces first, so that captions keep their designed width.
const QStringList& sansCandidates()
{
    static const QStringList list = {
        QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
        QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans"),
        QStringLiteral("Noto Sans"), QStringLiteral("FreeSans"),
    };
    return list;
}

const QStringList& monoCandidates()
{
    static const QStringList list = {
        QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
        QStringLiteral("Cousine"), QStringLiteral("Nimbus Mono PS"),
        QStringLiteral("Noto Sans Mono"), QStringLiteral("FreeMono"),
    };
    return list;
}

} // namespace

bool isFixedPitchDesignFace(const QString& family)
{
    return family.compare(QStringLiteral("Lucida Console"), Qt::CaseInsensitive) == 0
        || family.compare(QStringLiteral("Courier New"), Qt::CaseInsensitive) == 0
        || family.compare(QStringLiteral("Fixedsys"), Qt::CaseInsensitive) == 0;
}

QString resolveFontFamily(const QString& family)
{
    if (installed(family))
        return family;
    const bool mono = isFixedPitchDesignFace(family);
    for (const QString& candidate : mono ? monoCandidates() : sansCandidates()) {
        if (installed(candidate))
            return candidate;
    }
    // Nothing known is installed: let the font system pick by kind.
    return QFontDatabase::systemFont(mono ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont).family();
}

QFont designFont(const QString& family, qreal points, bool bold, bool underline)
{
    QFont font(resolveFontFamily(family));
    font.setStyleHint(isFixedPitchDesignFace(family) ? QFont::Monospace : QFont::SansSerif);
    font.setFixedPitch(isFixedPitchDesignFace(family));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

} // namespace gv
