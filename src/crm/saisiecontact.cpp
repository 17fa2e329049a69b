#include "saisiecontact.h"

#include "etapes.h"

#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace vd::crm {

namespace {

QString nombreEnTexte(double v)
{
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(qint64(v));
    return QString::number(v, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString texteJson(const QJsonValue& v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return nombreEnTexte(v.toDouble());
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return QString();
}

} // namespace

SaisieContact SaisieContact::depuis(const model::Contact& c)
{
    SaisieContact s;
    s.prenom = c.prenom;
    s.nom = c.nom;
    s.poste = c.poste;
    s.societe = c.societe;
    s.email = c.email;
    s.tel = c.tel;
    s.linkedin = c.linkedin;
    s.profilClientId = c.profilClientId;
    s.etape = c.etape;
    s.valeur = c.valeur > 0 ? nombreEnTexte(c.valeur) : QString();
    s.probabilite = nombreEnTexte(c.probabilite);
    s.source = c.source;
    s.tags = c.tags.join(QStringLiteral(", "));
    s.notes = c.notes;
    if (c.prochaineAction) {
        s.prochaineAction = c.prochaineAction->texte;
        s.echeance = c.prochaineAction->echeance;
    }
    s.champs = c.champs;
    return s;
}

SaisieContact SaisieContact::depuisJson(const QJsonObject& o, const SaisieContact& base)
{
    SaisieContact s = base;
    auto lire = [&](const char* cle, QString& champ) {
        const QJsonValue v = o.value(QLatin1String(cle));
        if (!v.isUndefined())
            champ = texteJson(v);
    };
    lire("prenom", s.prenom);
    lire("nom", s.nom);
    lire("poste", s.poste);
    lire("societe", s.societe);
    lire("email", s.email);
    lire("tel", s.tel);
    lire("linkedin", s.linkedin);
    lire("profilClientId", s.profilClientId);
    lire("etape", s.etape);
    lire("valeur", s.valeur);
    lire("probabilite", s.probabilite);
    lire("source", s.source);
    lire("notes", s.notes);
    if (const QJsonValue t = o.value(QLatin1String("tags")); t.isArray()) {
        QStringList l;
        for (const QJsonValue& e : t.toArray())
            if (const QString x = texteJson(e).trimmed(); !x.isEmpty())
                l << x;
        s.tags = l.join(QStringLiteral(", "));
    } else if (!t.isUndefined()) {
        s.tags = texteJson(t);
    }
    if (const QJsonValue p = o.value(QLatin1String("prochaineAction")); p.isObject()) {
        s.prochaineAction = texteJson(p.toObject().value(QLatin1String("texte")));
        s.echeance = texteJson(p.toObject().value(QLatin1String("echeance")));
    } else if (p.isNull()) {
        s.prochaineAction.clear();
        s.echeance.clear();
    }
    if (const QJsonValue ch = o.value(QLatin1String("champs")); ch.isObject()) {
        const QJsonObject c = ch.toObject();
        auto champ = [&](const char* k, QString& f) {
            if (c.contains(QLatin1String(k)))
                f = texteJson(c.value(QLatin1String(k)));
        };
        champ("budget", s.champs.budget);
        champ("decideur", s.champs.decideur);
        champ("echeance", s.champs.echeance);
        champ("douleur", s.champs.douleur);
    }
    return s;
}

std::optional<double> lireNombreSaisi(const QString& texte)
{
    QString t;
    t.reserve(texte.size());
    for (QChar ch : texte)
        if (!ch.isSpace() && ch != QChar(0x202F) && ch != QChar(0x00A0))
            t.append(ch == QLatin1Char(',') ? QLatin1Char('.') : ch);
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<QString> verifierContact(const SaisieContact& s)
{
    if ((s.prenom + s.nom).trimmed().isEmpty() && s.societe.trimmed().isEmpty())
        return QStringLiteral("Indiquez au moins un nom ou une société.");
    static const QRegularExpression email(QStringLiteral("^[^\\s@]+@[^\\s@]+\\.[^\\s@]+$"));
    const QString e = s.email.trimmed();
    if (!e.isEmpty() && !email.match(e).hasMatch())
        return QStringLiteral("Cet email ne semble pas valide.");
    if (!s.valeur.trimmed().isEmpty()) {
        const auto v = lireNombreSaisi(s.valeur);
        if (!v || *v < 0)
            return QStringLiteral("Indiquez un montant positif, par exemple 12 000.");
    }
    if (!s.probabilite.trimmed().isEmpty()) {
        const auto p = lireNombreSaisi(s.probabilite);
        if (!p || *p < 0 || *p > 100)
            return QStringLiteral("Indiquez un nombre entre 0 et 100.");
    }
    return std::nullopt;
}

model::Contact appliquerSaisie(const model::Contact& base, const SaisieContact& s)
{
    model::Contact c = base;
    c.prenom = s.prenom.trimmed();
    c.nom = s.nom.trimmed();
    c.poste = s.poste.trimmed();
    c.societe = s.societe.trimmed();
    c.email = s.email.trimmed();
    c.tel = s.tel.trimmed();
    c.linkedin = s.linkedin.trimmed();
    c.profilClientId = s.profilClientId.trimmed();
    c.etape = s.etape.trimmed().isEmpty() ? QStringLiteral("nouveau") : s.etape.trimmed();
    c.valeur = s.valeur.trimmed().isEmpty() ? 0 : lireNombreSaisi(s.valeur).value_or(0);
    c.probabilite = s.probabilite.trimmed().isEmpty() ? probabiliteParDefaut(c.etape) : lireNombreSaisi(s.probabilite).value_or(0);
    c.source = s.source.trimmed();
    QStringList tags;
    for (const QString& t : s.tags.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (const QString x = t.trimmed(); !x.isEmpty() && !tags.contains(x))
            tags << x;
    c.tags = tags;
    c.notes = s.notes.trimmed();
    const QString texte = s.prochaineAction.trimmed(), echeance = s.echeance.trimmed();
    if (texte.isEmpty() && echeance.isEmpty())
        c.prochaineAction.reset();
    else
        c.prochaineAction = model::ProchaineAction{texte, echeance};
    c.champs = {s.champs.budget.trimmed(), s.champs.decideur.trimmed(), s.champs.echeance.trimmed(), s.champs.douleur.trimmed()};
    return c;
}

} // namespace vd::crm
