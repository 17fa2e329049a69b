// The assistant's records, its error table, the data its read tools see and
// the application of accepted proposals to the store.
#include "quilloappliquer.h"
#include "quillosession.h"

#include "ai/erreursclaude.h"
#include "model/json.h"
#include "model/store.h"
#include "model/texte.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vd::assistant {

namespace {
const char* const genres[] = {"question", "reponse", "outil", "navigation", "proposition", "memoire", "erreur"};

template<typename T>
void optTexte(QJsonObject& o, const char* k, const std::optional<T>& v)
{
    if (v)
        o.insert(QLatin1String(k), *v);
}
std::optional<QString> lireTexte(const QJsonObject& o, const char* k)
{
    const QJsonValue v = o.value(QLatin1String(k));
    return v.isString() ? std::optional(v.toString()) : std::nullopt;
}
QJsonArray versTableau(const QStringList& l)
{
    QJsonArray a;
    for (const QString& s : l)
        a.append(s);
    return a;
}
QStringList depuisTableau(const QJsonValue& v)
{
    QStringList l;
    for (const QJsonValue& e : v.toArray())
        if (e.isString())
            l << e.toString();
    return l;
}
} // namespace

QString nomGenre(ElementQuillo::Genre g) { return QString::fromLatin1(genres[int(g)]); }

QJsonObject ElementQuillo::versJson() const
{
    QJsonObject o{{QStringLiteral("id"), id}, {QStringLiteral("genre"), nomGenre(genre)},
                  {QStringLiteral("texte"), texte}, {QStringLiteral("le"), le}};
    optTexte(o, "outil", outil);
    optTexte(o, "enCours", enCours);
    optTexte(o, "ecran", ecran);
    optTexte(o, "cible", cible);
    optTexte(o, "proposition", proposition);
    optTexte(o, "toolUseId", toolUseId);
    optTexte(o, "statut", statut);
    optTexte(o, "choix", choix);
    optTexte(o, "annulation", annulation);
    optTexte(o, "detail", detail);
    if (tMs)
        o.insert(QStringLiteral("tMs"), *tMs);
    return o;
}

ElementQuillo ElementQuillo::depuisJson(const QJsonObject& o)
{
    ElementQuillo e;
    e.id = o.value(QLatin1String("id")).toString();
    const QString g = o.value(QLatin1String("genre")).toString();
    for (int i = 0; i < 7; ++i)
        if (g == QLatin1String(genres[i]))
            e.genre = ElementQuillo::Genre(i);
    e.texte = o.value(QLatin1String("texte")).toString();
    e.le = o.value(QLatin1String("le")).toString();
    e.outil = lireTexte(o, "outil");
    if (o.value(QLatin1String("enCours")).isBool())
        e.enCours = o.value(QLatin1String("enCours")).toBool();
    e.ecran = lireTexte(o, "ecran");
    e.cible = lireTexte(o, "cible");
    if (o.contains(QLatin1String("proposition")))
        e.proposition = o.value(QLatin1String("proposition"));
    e.toolUseId = lireTexte(o, "toolUseId");
    e.statut = lireTexte(o, "statut");
    e.choix = lireTexte(o, "choix");
    if (o.contains(QLatin1String("annulation")))
        e.annulation = o.value(QLatin1String("annulation"));
    e.detail = lireTexte(o, "detail");
    if (o.value(QLatin1String("tMs")).isDouble())
        e.tMs = o.value(QLatin1String("tMs")).toInteger();
    return e;
}

QJsonObject ConversationQuillo::versJson() const
{
    QJsonArray aff;
    for (const ElementQuillo& e : affichage)
        aff.append(e.versJson());
    QJsonObject o{{QStringLiteral("id"), id}, {QStringLiteral("titre"), titre}, {QStringLiteral("mode"), mode},
                  {QStringLiteral("creeLe"), creeLe}, {QStringLiteral("majLe"), majLe},
                  {QStringLiteral("messages"), versTableau(messages)}, {QStringLiteral("affichage"), aff},
                  {QStringLiteral("enAttente"), versTableau(enAttente)}, {QStringLiteral("notesApp"), versTableau(notesApp)}};
    optTexte(o, "aujourdhui", aujourdhui);
    if (memoire)
        o.insert(QStringLiteral("memoire"), versTableau(*memoire));
    optTexte(o, "appelId", appelId);
    return o;
}

ConversationQuillo ConversationQuillo::depuisJson(const QJsonObject& o)
{
    ConversationQuillo c;
    c.id = o.value(QLatin1String("id")).toString();
    c.titre = o.value(QLatin1String("titre")).toString();
    c.mode = o.value(QLatin1String("mode")).toString(QStringLiteral("page"));
    c.creeLe = o.value(QLatin1String("creeLe")).toString();
    c.majLe = o.value(QLatin1String("majLe")).toString();
    c.messages = depuisTableau(o.value(QLatin1String("messages")));
    for (const QJsonValue& v : o.value(QLatin1String("affichage")).toArray())
        if (v.isObject())
            c.affichage.append(ElementQuillo::depuisJson(v.toObject()));
    c.aujourdhui = lireTexte(o, "aujourdhui");
    if (o.value(QLatin1String("memoire")).isArray())
        c.memoire = depuisTableau(o.value(QLatin1String("memoire")));
    c.appelId = lireTexte(o, "appelId");
    c.enAttente = depuisTableau(o.value(QLatin1String("enAttente")));
    c.notesApp = depuisTableau(o.value(QLatin1String("notesApp")));
    return c;
}

QString libelleStatut(const QString& statut)
{
    static const QHash<QString, QString> l = {
        {QStringLiteral("attente"), QStringLiteral("En attente de votre choix")},
        {QStringLiteral("applique"), QStringLiteral("Appliqué")},
        {QStringLiteral("defait"), QStringLiteral("Défait")},
        {QStringLiteral("annule"), QStringLiteral("Annulé")},
        {QStringLiteral("ignore"), QStringLiteral("Laissé de côté")},
        {QStringLiteral("echec"), QStringLiteral("Échec de l'enregistrement")},
    };
    return l.value(statut);
}

bool erreurDeGrammaire(int statut, const QString& message)
{
    if (statut != 400)
        return false;
    const QString m = message.toLower();
    return m.contains(QLatin1String("grammar")) || (m.contains(QLatin1String("strict")) && m.contains(QLatin1String("schema")));
}

QString messageErreurQuillo(int statut, const QString& message, const QString& code, SourceQuillo source)
{
    const bool cle = source == SourceQuillo::cle;
    const QString m = message.toLower();
    if (code == QLatin1String("cle_serveur_absente"))
        return QStringLiteral("Quillo n'est pas encore disponible. Réessayez plus tard.");
    if (code == QLatin1String("cle_serveur_refusee"))
        return QStringLiteral("Quillo est indisponible pour le moment. Nous sommes prévenus.");
    if (code == QLatin1String("requete_trop_longue") || statut == 413 || m.contains(QLatin1String("prompt is too long")) ||
        m.contains(QLatin1String("context length")) || m.contains(QLatin1String("too many tokens")))
        return QStringLiteral("Cette conversation est trop longue. Ouvrez-en une nouvelle.");
    if (code == QLatin1String("reseau"))
        return textesQuillo::reseau;
    if (code == QLatin1String("flux_coupe"))
        return textesQuillo::coupee;
    if (cle && ai::erreurDeWorkspace(message))
        return ai::messages::workspace;
    if (statut == 429 || code == QLatin1String("rate_limit_error"))
        return cle ? QStringLiteral("Trop de demandes en même temps. Réessayez dans une minute.")
                   : QStringLiteral("Quillo est très demandé. Réessayez dans quelques secondes.");
    if (statut == 529 || code == QLatin1String("overloaded_error") || (statut >= 500 && statut <= 599))
        return QStringLiteral("Quillo est très demandé. Réessayez dans un instant.");
    if (cle) {
        if (statut == 401)
            return QStringLiteral("Votre clé est refusée. Vérifiez-la dans Réglages.");
        if (statut == 403)
            return QStringLiteral("Cette clé n'a pas accès à ce modèle. Choisissez-en un autre dans Réglages, Quillo.");
        if (statut == 404)
            return QStringLiteral("Ce modèle est introuvable. Choisissez-en un autre dans Réglages, Quillo.");
    } else if (statut == 401 || statut == 403 || code == QLatin1String("fonction_desactivee") ||
               code == QLatin1String("compte_introuvable")) {
        return QStringLiteral("La demande a été refusée. Réessayez, ou ouvrez une nouvelle conversation.");
    }
    if (code == QLatin1String("refus"))
        return QStringLiteral("La demande a été refusée. Réessayez, ou ouvrez une nouvelle conversation.");
    return textesQuillo::generique;
}

QByteArray donneesQuillo(const model::Etat& etat, const QString& aujourdhui)
{
    QByteArray o;
    o.reserve(1 << 20);
    model::EcrivainJson e(o);
    e.debutObjet();
    e.champ("aujourdhui", aujourdhui);
    e.champ("reglages", etat.reglages);
    e.champ("entreprise", etat.entreprise);
    e.cle("profilsClients");
    e.debutTableau();
    for (const auto& p : etat.profilsClients)
        ecrire(e, p);
    e.finTableau();
    e.cle("contacts");
    e.debutTableau();
    for (const auto& c : etat.contacts)
        ecrire(e, c);
    e.finTableau();
    e.cle("interactions");
    e.debutTableau();
    for (const auto& i : etat.interactions)
        ecrire(e, i);
    e.finTableau();
    // Calls without their transcripts: one call is read whole by "lire_appel" only.
    e.cle("appels");
    e.debutTableau();
    for (const auto& a : etat.appels) {
        e.debutObjet();
        e.champ("id", a.id);
        e.champ("contactId", a.contactId);
        e.champ("type", a.type);
        e.champ("objectif", a.objectif.left(300));
        e.champ("debut", a.debut);
        e.champ("duree", a.duree);
        e.champ("statut", a.statut);
        e.champ("creeLe", a.creeLe);
        if (a.analyse) {
            e.cle("analyse");
            e.debutObjet();
            e.champ("score", a.analyse->score);
            e.champ("resume", a.analyse->resume.left(600));
            e.finObjet();
        }
        e.champ("prochaineEtape", a.prochaineEtape);
        e.finObjet();
    }
    e.finTableau();
    e.finObjet();
    return o;
}

namespace {

void poserChemin(QJsonObject& o, QStringList chemin, const QJsonValue& v)
{
    const QString k = chemin.takeFirst();
    if (chemin.isEmpty()) {
        if (v.isNull())
            o.remove(k);
        else
            o.insert(k, v);
        return;
    }
    QJsonObject sous = o.value(k).toObject();
    poserChemin(sous, chemin, v);
    o.insert(k, sous);
}

} // namespace

std::optional<QString> appliquerChangements(model::Store& store, const QJsonValue& changements)
{
    // Everything is decoded before the store is touched: a bad change changes nothing.
    struct Change {
        QString collection, op, id;
        QJsonObject valeur;
        std::optional<model::Contact> contact;
        std::optional<model::Interaction> interaction;
    };
    QList<Change> liste;
    for (const QJsonValue& v : changements.toArray()) {
        const QJsonObject o = v.toObject();
        Change c{o.value(QLatin1String("collection")).toString(), o.value(QLatin1String("op")).toString(),
                 o.value(QLatin1String("id")).toString(), o.value(QLatin1String("valeur")).toObject(), {}, {}};
        if (c.id.isEmpty())
            c.id = c.valeur.value(QLatin1String("id")).toString();
        if (c.op != QLatin1String("fusionner") && c.id.isEmpty())
            return QStringLiteral("Changement sans identifiant.");
        if (c.collection == QLatin1String("contacts") && c.op != QLatin1String("supprimer")) {
            c.contact = model::Contact::depuisJson(QJsonValue(c.valeur));
            if (!c.contact)
                return QStringLiteral("Fiche de contact illisible.");
        } else if (c.collection == QLatin1String("interactions") && c.op != QLatin1String("supprimer")) {
            c.interaction = model::Interaction::depuisJson(QJsonValue(c.valeur));
            if (!c.interaction)
                return QStringLiteral("Interaction illisible.");
        } else if (c.collection != QLatin1String("contacts") && c.collection != QLatin1String("interactions") &&
                   c.collection != QLatin1String("frameworks") && c.collection != QLatin1String("reglages")) {
            return QStringLiteral("Changement inconnu.");
        }
        liste.append(std::move(c));
    }
    if (liste.isEmpty())
        return std::nullopt;
    const model::Etat& avant = store.etat();
    std::optional<model::Reglages> reglages;
    for (const Change& c : liste) {
        if (c.collection == QLatin1String("contacts") && c.op == QLatin1String("remplacer") && !avant.contact(c.id))
            return QStringLiteral("Contact introuvable.");
        if (c.collection == QLatin1String("reglages")) {
            QJsonObject r = model::versObjetJson(reglages ? *reglages : avant.reglages);
            for (auto it = c.valeur.begin(); it != c.valeur.end(); ++it)
                poserChemin(r, it.key().split(QLatin1Char('.')), it.value());
            reglages = model::Reglages::depuisJson(QJsonValue(r));
            if (!reglages)
                return QStringLiteral("Réglages illisibles.");
        }
    }
    QList<model::Store::Suppression> suppressions;
    for (const Change& c : liste)
        if (c.op == QLatin1String("supprimer"))
            suppressions.append({c.collection, c.id});
    store.modifier(
        [&](model::Etat& e) {
            for (const Change& c : liste) {
                if (c.collection == QLatin1String("contacts")) {
                    auto it = std::find_if(e.contacts.begin(), e.contacts.end(), [&](const auto& x) { return x.id == c.id; });
                    if (c.op == QLatin1String("supprimer")) {
                        if (it != e.contacts.end())
                            e.contacts.erase(it);
                    } else if (it != e.contacts.end()) {
                        *it = *c.contact;
                    } else {
                        e.contacts.append(*c.contact);
                    }
                } else if (c.collection == QLatin1String("interactions")) {
                    auto it = std::find_if(e.interactions.begin(), e.interactions.end(), [&](const auto& x) { return x.id == c.id; });
                    if (c.op == QLatin1String("supprimer")) {
                        if (it != e.interactions.end())
                            e.interactions.erase(it);
                    } else if (it != e.interactions.end()) {
                        *it = *c.interaction;
                    } else {
                        e.interactions.append(*c.interaction);
                    }
                } else if (c.collection == QLatin1String("frameworks")) {
                    auto it = std::find_if(e.frameworks.begin(), e.frameworks.end(), [&](const auto& x) {
                        return x.qt().toObject().value(QLatin1String("id")).toString() == c.id;
                    });
                    if (c.op == QLatin1String("supprimer")) {
                        if (it != e.frameworks.end())
                            e.frameworks.erase(it);
                    } else if (it != e.frameworks.end()) {
                        *it = model::JSONValeur(c.valeur);
                    } else {
                        e.frameworks.append(model::JSONValeur(c.valeur));
                    }
                }
            }
            if (reglages)
                e.reglages = *reglages;
        },
        suppressions);
    return std::nullopt;
}

} // namespace vd::assistant
