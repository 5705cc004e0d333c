#include "Fonts.h"

#include <QStringList>

namespace ondril {

static const char *const simSun = "SimSun";
static const char *const msSansSerif = "MS Sans Serif";

void installFontSubstitutes()
{
    const QString songTi = QString::fromUtf8("\u5B8B\u4F53"); // SimSun's own name
    // Used only where the font itself is missing: on Windows both are
    // usually there (SimSun with the Chinese supplemental fonts).
#ifdef Q_OS_WIN
    // Then the Linux ones, which Wine shows from its host.
    const QStringList cjk = {QStringLiteral("NSimSun"), QStringLiteral("Microsoft YaHei"),
                             QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("DejaVu Sans"), QStringLiteral("Arial")};
    const QStringList sans = {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                              QStringLiteral("DejaVu Sans"), QStringLiteral("Arial")};
#else
    const QStringList cjk = {QStringLiteral("WenQuanYi Zen Hei"),
                             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")};
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
#endif
    QFont::insertSubstitutions(QString::fromLatin1(simSun), cjk);
    QFont::insertSubstitutions(songTi, cjk);
    QFont::insertSubstitutions(QString::fromLatin1(msSansSerif), sans);
}

QFont formFont(FontKey key)
{
    QFont font;
    switch (key) {
    case FontKey::W:
    case FontKey::B:
        font.setFamily(QString::fromLatin1(simSun));
        font.setPointSizeF(12);
        font.setWeight(key == FontKey::B ? QFont::Bold : QFont::Normal);
        break;
    case FontKey::M13:
        font.setFamily(QString::fromLatin1(msSansSerif));
        font.setPointSizeF(13.5);
        break;
    case FontKey::M12:
        font.setFamily(QString::fromLatin1(msSansSerif));
        font.setPointSizeF(12);
        break;
    case FontKey::M10:
        font.setFamily(QString::fromLatin1(msSansSerif));
        font.setPointSizeF(9.75);
        break;
    }
    return font;
}

} // namespace ondril
