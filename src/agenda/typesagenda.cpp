#include "agenda/typesagenda.h"

#include "model/json.h"
#include "model/texte.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QUrl>

namespace vd::agenda {

using model::lire::booleen;
using model::lire::texteOpt;

QString valeur(FournisseurAgenda f)
{
    return f == FournisseurAgenda::google ? QStringLiteral("google") : QStringLiteral("microsoft");
}

QString nomAffiche(FournisseurAgenda f)
{
    return f == FournisseurAgenda::google ? QStringLiteral("Google Agenda") : QStringLiteral("Outlook");
}

std::optional<FournisseurAgenda> fournisseurDepuis(const QString& texte)
{
    const QString t = texte.trimmed().toLower();
    if (t == QLatin1String("google"))
        return FournisseurAgenda::google;
    if (t == QLatin1String("microsoft"))
        return FournisseurAgenda::microsoft;
    return std::nullopt;
}

namespace {

std::optional<QDateTime> instant(const QJsonValue& v)
{
    const auto t = texteOpt(v);
    if (!t)
        return std::nullopt;
    if (t->size() == 10) {
        const QDate d = QDate::fromString(*t, QStringLiteral("yyyy-MM-dd"));
        if (d.isValid())
            return QDateTime(d, QTime(0, 0));   // an all-day meeting starts at local midnight
    }
    return model::lireHorodatage(*t);
}

} // namespace

std::optional<ConnexionAgenda> ConnexionAgenda::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    const auto f = fournisseurDepuis(texteOpt(o.value(QStringLiteral("fournisseur"))).value_or(QString()));
    if (!f)
        return std::nullopt;
    ConnexionAgenda c;
    c.fournisseur = *f;
    c.email = texteOpt(o.value(QStringLiteral("email")));
    c.connecteLe = instant(o.value(QStringLiteral("connecteLe")));
    return c;
}

std::optional<InviteAgenda> InviteAgenda::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    InviteAgenda i;
    i.email = texteOpt(o.value(QStringLiteral("email")));
    i.nom = texteOpt(o.value(QStringLiteral("nom")));
    i.reponse = texteOpt(o.value(QStringLiteral("reponse"))).value_or(QStringLiteral("en_attente"));
    i.moi = booleen(o.value(QStringLiteral("moi"))).value_or(false);
    return i;
}

QJsonObject InviteAgenda::versJson() const
{
    QJsonObject o{{QStringLiteral("reponse"), reponse}, {QStringLiteral("moi"), moi}};
    if (email)
        o.insert(QStringLiteral("email"), *email);
    if (nom)
        o.insert(QStringLiteral("nom"), *nom);
    return o;
}

std::optional<RendezVousAgenda> RendezVousAgenda::depuisJson(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    RendezVousAgenda r;
    r.id = texteOpt(o.value(QStringLiteral("id"))).value_or(QString());
    const auto debut = instant(o.value(QStringLiteral("debut")));
    if (r.id.isEmpty() || !debut)
        return std::nullopt;
    r.debut = *debut;
    r.titre = model::lire::texte(o.value(QStringLiteral("titre")), QString());
    r.fin = instant(o.value(QStringLiteral("fin")));
    r.journeeEntiere = booleen(o.value(QStringLiteral("journeeEntiere"))).value_or(false);
    r.lieu = texteOpt(o.value(QStringLiteral("lieu")));
    r.lienVisio = texteOpt(o.value(QStringLiteral("lienVisio")));
    r.organisateur = InviteAgenda::depuisJson(o.value(QStringLiteral("organisateur")));
    for (const QJsonValue& i : o.value(QStringLiteral("invites")).toArray())
        if (auto inv = InviteAgenda::depuisJson(i))
            r.invites.append(*inv);
    r.annule = booleen(o.value(QStringLiteral("annule"))).value_or(false);
    r.fournisseur = fournisseurDepuis(texteOpt(o.value(QStringLiteral("fournisseur"))).value_or(QString()))
                        .value_or(FournisseurAgenda::google);
    r.serie = texteOpt(o.value(QStringLiteral("serie")));
    return r;
}

namespace {

QList<ConnexionAgenda> lireConnexions(const QJsonValue& v)
{
    QList<ConnexionAgenda> l;
    for (const QJsonValue& c : v.toArray())
        if (auto x = ConnexionAgenda::depuisJson(c))
            l.append(*x);
    return l;
}

QList<FournisseurAgenda> lireFournisseurs(const QJsonValue& v)
{
    QList<FournisseurAgenda> l;
    for (const QJsonValue& c : v.toArray())
        if (auto f = fournisseurDepuis(c.toString()); f && !l.contains(*f))
            l.append(*f);
    return l;
}

} // namespace

LectureAgenda LectureAgenda::depuisJson(const QJsonObject& o)
{
    LectureAgenda l;
    l.connexions = lireConnexions(o.value(QStringLiteral("connexions")));
    for (const QJsonValue& r : o.value(QStringLiteral("evenements")).toArray())
        if (auto x = RendezVousAgenda::depuisJson(r))
            l.rendezVous.append(*x);
    const QJsonObject erreurs = o.value(QStringLiteral("erreurs")).toObject();
    for (auto it = erreurs.begin(); it != erreurs.end(); ++it)
        if (auto f = fournisseurDepuis(it.key()))
            l.erreurs.insert(*f, model::lire::texte(it.value(), QStringLiteral("erreur")));
    l.revoques = lireFournisseurs(o.value(QStringLiteral("revoques")));
    return l;
}

ReponseEvenementsAgenda lireReponseEvenements(const QJsonObject& o)
{
    LectureAgenda l = LectureAgenda::depuisJson(o);
    if (l.connexions.isEmpty() && !l.revoques.isEmpty())
        return Revoque{l.revoques};
    if (l.connexions.isEmpty() && l.rendezVous.isEmpty())
        return NonConnecte{};
    return l;
}

EtatServeurAgenda EtatServeurAgenda::depuisJson(const QJsonObject& o)
{
    EtatServeurAgenda e;
    e.connexions = lireConnexions(o.value(QStringLiteral("connexions")));
    e.fournisseurs = lireFournisseurs(o.value(QStringLiteral("fournisseurs")));
    return e;
}

QJsonObject EvenementAgenda::versJson() const
{
    QJsonObject o{{QStringLiteral("id"), id},
                  {QStringLiteral("titre"), titre},
                  {QStringLiteral("debut"), model::horodatage(debut)},
                  {QStringLiteral("journeeEntiere"), journeeEntiere},
                  {QStringLiteral("fournisseur"), valeur(fournisseur)},
                  {QStringLiteral("parDomaine"), parDomaine},
                  {QStringLiteral("interne"), interne},
                  {QStringLiteral("sansInvite"), sansInvite}};
    o.insert(QStringLiteral("contactId"), contactId ? QJsonValue(*contactId) : QJsonValue());
    if (fin)
        o.insert(QStringLiteral("fin"), model::horodatage(*fin));
    if (lienVisio)
        o.insert(QStringLiteral("lienVisio"), *lienVisio);
    if (invite)
        o.insert(QStringLiteral("invite"), invite->versJson());
    QJsonArray ext;
    for (const InviteAgenda& i : invitesExterieurs)
        ext.append(i.versJson());
    o.insert(QStringLiteral("invitesExterieurs"), ext);
    return o;
}

std::optional<QString> messageRetourConnexion(const QString& code, FournisseurAgenda f)
{
    const QString c = code.trimmed();
    if (c == QLatin1String("refuse") || c == QLatin1String("annule"))
        return std::nullopt;
    if (c == QLatin1String("consentement_admin"))
        return QStringLiteral("Votre entreprise doit autoriser Vendalo dans Microsoft 365. Transmettez ce message à votre administrateur.");
    if (c == QLatin1String("scope_manquant"))
        return f == FournisseurAgenda::google
                   ? QStringLiteral("Cochez l'accès à votre agenda sur l'écran de Google pour que Vendalo voie vos rendez-vous.")
                   : QStringLiteral("Acceptez l'accès à vos calendriers sur l'écran de Microsoft pour que Vendalo voie vos rendez-vous.");
    if (c == QLatin1String("sans_refresh"))
        return nomAffiche(f) + QStringLiteral(" n'a pas donné un accès durable. Réessayez la connexion.");
    if (c == QLatin1String("etat_expire"))
        return QStringLiteral("La connexion a pris plus de 10 minutes. Réessayez.");
    if (c == QLatin1String("etat_invalide"))
        return QStringLiteral("Ce lien de connexion a déjà servi. Réessayez.");
    if (c == QLatin1String("google_erreur"))
        return QStringLiteral("Google a refusé la connexion. Réessayez dans un instant.");
    if (c == QLatin1String("microsoft_erreur"))
        return QStringLiteral("Microsoft a refusé la connexion. Réessayez dans un instant.");
    if (c == QLatin1String("echange_impossible"))
        return nomAffiche(f) + QStringLiteral(" a refusé la connexion. Réessayez dans un instant.");
    if (c == QLatin1String("configuration") || c == QLatin1String("erreur_interne") || c == QLatin1String("cle_serveur_absente"))
        return QStringLiteral("La connexion de l'agenda est indisponible pour le moment.");
    return QStringLiteral("La connexion à ") + nomAffiche(f) + QStringLiteral(" n'a pas abouti. Réessayez.");
}

QString messageRevoque(FournisseurAgenda f)
{
    return f == FournisseurAgenda::google
               ? QStringLiteral("Votre Google Agenda a été déconnecté. Reconnectez-le dans les Réglages.")
               : QStringLiteral("Votre agenda Outlook a été déconnecté. Reconnectez-le dans les Réglages.");
}

QString texteParDomaine(const QString& nomContact)
{
    return QStringLiteral("Reconnu par son entreprise : le brief portera sur ") + nomContact;
}

bool lienVisioOuvrable(const QString& lien)
{
    const QUrl u(lien.trimmed(), QUrl::StrictMode);
    const QString s = u.scheme().toLower();
    return u.isValid() && !u.host().isEmpty() && (s == QLatin1String("https") || s == QLatin1String("http"));
}

QString lienNormalise(const QString& lien)
{
    QString t = lien.trimmed().toLower();
    if (const int i = t.indexOf(QLatin1String("://")); i >= 0)
        t = t.mid(i + 3);
    if (t.startsWith(QLatin1String("www.")))
        t = t.mid(4);
    if (const int i = t.indexOf(QRegularExpression(QStringLiteral("[?#]"))); i >= 0)
        t.truncate(i);
    while (t.endsWith(QLatin1Char('/')))
        t.chop(1);
    return t;
}

} // namespace vd::agenda
