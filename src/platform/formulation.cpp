#include "formulation.h"

#include <QRegularExpression>

namespace vd::platform {

namespace {

bool estModificateur(QChar c)
{
    return c == QChar(0x2318) || c == QChar(0x2325) || c == QChar(0x21E7) || c == QChar(0x2303);
}

QString touche(const QString& t)
{
    if (t == QStringLiteral("⏎") || t == QStringLiteral("↩"))
        return QStringLiteral("Entrée");
    if (t == QStringLiteral("⎋"))
        return QStringLiteral("Échap");
    if (t == QStringLiteral("⌫"))
        return QStringLiteral("Retour arrière");
    if (t == QStringLiteral("␣"))
        return QStringLiteral("Espace");
    return t.toUpper();
}

// Mac-only phrases, longest first so that a short one never cuts a longer one.
struct Remplacement {
    const char16_t* mac;
    const char16_t* autre;
};
constexpr Remplacement phrases[] = {
    {u"Ouvrir Réglages Système", u"Ouvrir les paramètres du système"},
    {u"dans Réglages Système", u"dans les paramètres du système"},
    {u"Réglages Système", u"Paramètres du système"},
    {u"Son du Mac", u"Son de l'ordinateur"},
    {u"son du Mac", u"son de l'ordinateur"},
    {u"sur ce Mac", u"sur cet ordinateur"},
    {u"de ce Mac", u"de cet ordinateur"},
    {u"ce Mac", u"cet ordinateur"},
    {u"du Mac", u"de l'ordinateur"},
    {u"le Mac", u"l'ordinateur"},
    {u"votre Mac", u"votre ordinateur"},
    {u"la barre des menus", u"la zone de notification"},
    {u"le Dock", u"la barre des tâches"},
};

} // namespace

QString raccourci(const QString& mac, Systeme s)
{
    if (s == Systeme::macos)
        return mac;
    bool ctrl = false, alt = false, maj = false;
    qsizetype i = 0;
    for (; i < mac.size() && estModificateur(mac[i]); ++i) {
        const QChar c = mac[i];
        if (c == QChar(0x2318) || c == QChar(0x2303))
            ctrl = true;
        else if (c == QChar(0x2325))
            alt = true;
        else
            maj = true;
    }
    QString r;
    if (ctrl)
        r += QStringLiteral("Ctrl+");
    if (alt)
        r += QStringLiteral("Alt+");
    if (maj)
        r += QStringLiteral("Maj+");
    return r + touche(mac.mid(i));
}

QString formuler(const QString& texteMac, Systeme s)
{
    if (s == Systeme::macos)
        return texteMac;
    static const QRegularExpression motif(QStringLiteral("[⌃⌥⇧⌘]+(?:[⏎↩⎋⌫␣]|[A-Za-z0-9])"));
    QString t;
    qsizetype depuis = 0;
    for (auto it = motif.globalMatch(texteMac); it.hasNext();) {
        const auto m = it.next();
        t += QStringView(texteMac).mid(depuis, m.capturedStart() - depuis);
        t += raccourci(m.captured(), s);
        depuis = m.capturedEnd();
    }
    t += QStringView(texteMac).mid(depuis);
    for (const Remplacement& r : phrases)
        t.replace(QString::fromUtf16(r.mac), QString::fromUtf16(r.autre));
    // "macOS" names the system: capitalised where it starts a sentence.
    static const QRegularExpression systeme(QStringLiteral("(^|[.!?]\\s+)?macOS"));
    QString sortie;
    depuis = 0;
    for (auto it = systeme.globalMatch(t); it.hasNext();) {
        const auto m = it.next();
        sortie += QStringView(t).mid(depuis, m.capturedStart() - depuis);
        const bool debut = m.capturedStart(1) >= 0;
        sortie += m.captured(1) + (debut ? QStringLiteral("Le système") : QStringLiteral("le système"));
        depuis = m.capturedEnd();
    }
    sortie += QStringView(t).mid(depuis);
    return sortie;
}

} // namespace vd::platform
