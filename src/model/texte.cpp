#include "texte.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimeZone>
#include <cctype>
#include <vector>

namespace vd::model {

TexteSouple TexteSouple::depuisJson(const QJsonValue& v)
{
    if (v.isString())
        return {v.toString()};
    if (v.isDouble())
        return {lire::texteDuNombre(v.toDouble())};
    return {};
}

QString neutraliser(const QString& texte)
{
    static const QRegularExpression r1(
        QStringLiteral(R"(\b(?:Claude|Anthropic)(?:\s+(?:Haiku|Sonnet|Opus))?(?:\s+\d+(?:\.\d+)?)?)"));
    static const QRegularExpression r2(QStringLiteral(R"(\b(?:Haiku|Sonnet|Opus)(?:\s+\d+(?:\.\d+)?)?)"));
    static const QRegularExpression r3(QStringLiteral(R"(\b(?:Deepgram|Soniox)(?:\s+Nova-\d+)?)"));
    QString t = texte;
    t.replace(r1, QStringLiteral("Quillo"));
    t.replace(r2, QStringLiteral("Quillo"));
    t.replace(r3, QStringLiteral("transcription"));
    return t;
}

bool nommeUnFournisseur(const QString& texte)
{
    static const QRegularExpression r(QStringLiteral(
        R"(\b(Claude|Anthropic|Opus|Sonnet|Haiku|Soniox|Deepgram|OpenAI|ChatGPT|GPT|Gemini|Mistral|AssemblyAI)\b)"));
    Q_ASSERT(r.isValid());
    return r.match(texte).hasMatch();
}

QString libelleModele(const QString& modele)
{
    const QString m = modele.toLower();
    if (m.contains(QLatin1String("opus")))
        return QStringLiteral("Analyse avancée");
    if (m.contains(QLatin1String("haiku")))
        return QStringLiteral("Analyse rapide");
    return QStringLiteral("Analyse");
}

std::optional<QJsonValue> completerJsonPartiel(const QString& texte) { return completerJsonPartiel(texte.toUtf8()); }

namespace {
QByteArray fermetures(const std::vector<char>& pile)
{
    QByteArray b;
    for (auto it = pile.rbegin(); it != pile.rend(); ++it)
        b.append(*it);
    return b;
}
} // namespace

std::optional<QJsonValue> completerJsonPartiel(const QByteArray& brut)
{
    QByteArray t = brut.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // One pass: track open containers and whether we stand inside a string.
    std::vector<char> pile;
    bool dansChaine = false;
    bool echappe = false;
    qsizetype debutChaine = -1;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (dansChaine) {
            if (echappe)
                echappe = false;
            else if (c == '\\')
                echappe = true;
            else if (c == '"')
                dansChaine = false;
            continue;
        }
        switch (c) {
        case '"': dansChaine = true; debutChaine = i; break;
        case '{': pile.push_back('}'); break;
        case '[': pile.push_back(']'); break;
        case '}':
        case ']':
            if (pile.empty() || pile.back() != c)
                return std::nullopt;
            pile.pop_back();
            break;
        default: break;
        }
        if (pile.size() > 512)   // deeper than any answer we expect: refuse, do not recurse
            return std::nullopt;
    }
    if (dansChaine) {
        if (echappe)
            t.chop(1);   // a lone backslash cannot end a string
        // A cut \uXXXX escape is dropped whole.
        const qsizetype u = t.lastIndexOf("\\u");
        if (u > debutChaine && t.size() - u < 6)
            t.truncate(u);
        // A cut UTF-8 sequence at the end is dropped.
        qsizetype k = t.size();
        int suite = 0;
        while (k > 0 && (static_cast<unsigned char>(t[k - 1]) & 0xC0) == 0x80 && suite < 3) {
            --k;
            ++suite;
        }
        if (k > 0) {
            const unsigned char tete = static_cast<unsigned char>(t[k - 1]);
            const int attendu = tete >= 0xF0 ? 3 : tete >= 0xE0 ? 2 : tete >= 0xC0 ? 1 : 0;
            if (attendu > suite)
                t.truncate(k - 1);
        }
        t.append('"');
    } else {
        // Drop what cannot stand at the end: a separator, an unfinished literal or number.
        for (;;) {
            t = t.trimmed();
            if (t.isEmpty())
                return std::nullopt;
            const char fin = t.back();
            if (fin == ',' || fin == ':') {
                t.chop(1);
                continue;
            }
            if (std::isalpha(static_cast<unsigned char>(fin)) || fin == '-' || fin == '+' || fin == '.') {
                qsizetype k = t.size();
                while (k > 0 && (std::isalnum(static_cast<unsigned char>(t[k - 1])) || t[k - 1] == '-' || t[k - 1] == '+' || t[k - 1] == '.'))
                    --k;
                const QByteArray mot = t.mid(k);
                if (mot == "true" || mot == "false" || mot == "null") {
                    break;
                }
                bool nombreComplet = false;
                mot.toDouble(&nombreComplet);
                if (nombreComplet && fin != '.' && fin != '-' && fin != '+')
                    break;
                t.truncate(k);
                continue;
            }
            break;
        }
    }
    // A key left without its value ({"a":1,"b") cannot be closed: drop it.
    if (!pile.empty() && pile.back() == '}') {
        const QByteArray essai = t + fermetures(pile);
        QJsonParseError err;
        QJsonDocument::fromJson(essai, &err);
        if (err.error != QJsonParseError::NoError && t.endsWith('"')) {
            // find the start of that dangling key
            qsizetype k = t.size() - 1;
            bool esc = false;
            for (qsizetype i = k - 1; i >= 0; --i) {
                if (t[i] == '"') {
                    esc = false;
                    for (qsizetype j = i - 1; j >= 0 && t[j] == '\\'; --j)
                        esc = !esc;
                    if (!esc) {
                        k = i;
                        break;
                    }
                }
            }
            QByteArray avant = t.left(k).trimmed();
            if (avant.endsWith(',') || avant.endsWith('{')) {
                if (avant.endsWith(','))
                    avant.chop(1);
                t = avant;
            }
        }
    }
    const QByteArray complet = t + fermetures(pile);
    auto v = JSONValeur::depuisTexte(complet);
    if (!v)
        return std::nullopt;
    return v->qt();
}

namespace {

// Maps one code point to its folded form; false when it is dropped (combining mark).
inline void plierCar(char32_t c, QString& sortie)
{
    if (c == 0x2019 || c == 0x2018) {
        sortie.append(QLatin1Char('\''));
        return;
    }
    if (c == 0x0153 || c == 0x0152) {
        sortie.append(QLatin1String("oe"));
        return;
    }
    if (c == 0x00E6 || c == 0x00C6) {
        sortie.append(QLatin1String("ae"));
        return;
    }
    QString s = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_D);
    for (QChar q : s) {
        if (q.category() == QChar::Mark_NonSpacing)
            continue;
        sortie.append(q.toLower());
    }
}

} // namespace

QString plier(const QString& texte)
{
    QString r;
    r.reserve(texte.size());
    bool espace = false;
    const auto ucs = texte.toUcs4();
    for (char32_t c : ucs) {
        if (QChar::isSpace(c)) {
            espace = !r.isEmpty();
            continue;
        }
        if (espace) {
            r.append(QLatin1Char(' '));
            espace = false;
        }
        if (c < 0x80) {
            r.append(QChar(c).toLower());
            continue;
        }
        plierCar(c, r);
    }
    return r;
}

bool dateDansTexte(const QString& texte)
{
    const QString t = plier(texte);
    if (t.isEmpty())
        return false;
    static const QRegularExpression indefini(
        QStringLiteral(R"((a definir|a fixer|non defini|non datee?|aucune|inconnue?|tbd|plus tard))"));
    static const QRegularExpression chiffre(QStringLiteral(R"(\d)"));
    if (indefini.match(t).hasMatch() && !chiffre.match(t).hasMatch())
        return false;
    // Whole words, so "email" does not hold "mai"; "aujourd" stays a prefix.
    static const QRegularExpression moment(QStringLiteral(
        R"(\d|\b(lundi|mardi|mercredi|jeudi|vendredi|samedi|dimanche|demain|ce soir|cette semaine|semaine prochaine|)"
        R"(fin de semaine|fin du mois|debut du mois|mois prochain|janvier|fevrier|mars|avril|mai|juin|juillet|aout|)"
        R"(septembre|octobre|novembre|decembre|monday|tuesday|wednesday|thursday|friday|tomorrow|next week)\b|\baujourd)"));
    return moment.match(t).hasMatch();
}

QString horodatage(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

std::optional<QDateTime> lireHorodatage(const QString& texte)
{
    if (texte.isEmpty())
        return std::nullopt;
    QDateTime d = QDateTime::fromString(texte, Qt::ISODateWithMs);
    if (!d.isValid())
        d = QDateTime::fromString(texte, Qt::ISODate);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

QString jourCalendaire(const QDateTime& t) { return t.toLocalTime().date().toString(QStringLiteral("yyyy-MM-dd")); }

} // namespace vd::model
