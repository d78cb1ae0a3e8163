// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesignFont.h"

#include <QFontDatabase>
#include <QHash>
#include <QStringList>

#include <mutex>

namespace gv {

namespace {

bool installed(const QStringList& families, const QString& family)
{
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
    static std::mutex mutex;
    static QHash<QString, QString> chosen;
    std::lock_guard lock(mutex);
    if (const auto known = chosen.constFind(family); known != chosen.constEnd())
        return known.value();

    // Asking the font database for its families is costly; once per
    // name is enough.
    const QStringList families = QFontDatabase::families();
    QString result;
    const bool mono = isFixedPitchDesignFace(family);
    if (installed(families, family)) {
        result = family;
    } else {
        for (const QString& candidate : mono ? monoCandidates() : sansCandidates()) {
            if (installed(families, candidate)) {
                result = candidate;
                break;
            }
        }
    }
    // Nothing known is installed: let the font system pick by kind.
    if (result.isEmpty())
        result = QFontDatabase::systemFont(mono ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont).family();
    chosen.insert(family, result);
    return result;
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
