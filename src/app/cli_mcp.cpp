// "vendalo mcp": a Model Context Protocol server on standard input and output
// for outside assistants, on this computer only. JSON-RPC 2.0, one message per
// line. It reads the data folder as it stands (file and journal), without the
// folder's lock, and never writes; a change made meanwhile by the app is seen
// at the next call.
#include "ai/moteur.h"
#include "assistant/quillosession.h"
#include "cli.h"
#include "cli_commandes.h"
#include "model/store.h"
#include "model/journal.h"
#include "model/json.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace vd::app {

namespace {

// Newest first; an unknown version asked by the client gets the newest.
const QStringList versionsProtocole{QStringLiteral("2025-06-18"), QStringLiteral("2025-03-26"), QStringLiteral("2024-11-05")};

void envoyer(const QJsonObject& message)
{
    const QByteArray b = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
}

QJsonObject reponse(const QJsonValue& id, const QJsonValue& resultat)
{
    return {{QStringLiteral("jsonrpc"), QStringLiteral("2.0")}, {QStringLiteral("id"), id}, {QStringLiteral("result"), resultat}};
}

QJsonObject erreurRpc(const QJsonValue& id, int code, const QString& message)
{
    return {{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
            {QStringLiteral("id"), id},
            {QStringLiteral("error"), QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}}}};
}

// The data folder as last read; read again when its file or journal changed.
class Instantane {
public:
    model::Store& store()
    {
        const QString chemin = model::Store::cheminPrincipal();
        const QFileInfo f(chemin), j(model::journal::cheminPour(chemin));
        const auto marque = std::make_tuple(f.exists() ? f.size() : -1, f.exists() ? f.lastModified() : QDateTime(),
                                            j.exists() ? j.size() : -1, j.exists() ? j.lastModified() : QDateTime());
        if (!store_ || marque != marque_) {
            store_ = std::make_unique<model::Store>(chemin, model::Store::Acces::lecture);
            marque_ = marque;
            aEnvoyer_ = true;
        }
        return *store_;
    }
    // The app's data for the engine, once per reading (empty: the engine keeps what it has).
    QString donnees(const QString& aujourdhui)
    {
        model::Store& s = store();
        if (!aEnvoyer_)
            return {};
        aEnvoyer_ = false;
        return QString::fromUtf8(assistant::donneesQuillo(s.etat(), aujourdhui));
    }

private:
    std::unique_ptr<model::Store> store_;
    std::tuple<qint64, QDateTime, qint64, QDateTime> marque_;
    bool aEnvoyer_ = true;
};

QJsonArray outils(ai::Moteur& moteur)
{
    QJsonArray liste = moteur.appelerJSON(QStringLiteral("quilloOutilsMcp")).valeurOu(QJsonArray()).toArray();
    liste.append(QJsonObject{
        {QStringLiteral("name"), QStringLiteral("relances_du_jour")},
        {QStringLiteral("description"), QStringLiteral("Les étapes de relance dues aujourd'hui (ou au jour donné, aaaa-mm-jj), en retard comprises.")},
        {QStringLiteral("inputSchema"),
         QJsonObject{{QStringLiteral("type"), QStringLiteral("object")},
                     {QStringLiteral("properties"), QJsonObject{{QStringLiteral("jour"), QJsonObject{{QStringLiteral("type"), QStringLiteral("string")}}}}},
                     {QStringLiteral("required"), QJsonArray()}}}});
    return liste;
}

QJsonObject resultatTexte(const QString& texte, bool erreur)
{
    return {{QStringLiteral("content"), QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), texte}}}},
            {QStringLiteral("isError"), erreur}};
}

QJsonObject appelerOutil(ai::Moteur& moteur, Instantane& donnees, const QString& nom, const QJsonObject& arguments)
{
    const QString aujourdhui = QDate::currentDate().toString(Qt::ISODate);
    if (nom == QLatin1String("relances_du_jour")) {
        const QString jour = arguments.value(QLatin1String("jour")).toString(aujourdhui);
        if (!QDate::fromString(jour, Qt::ISODate).isValid())
            return resultatTexte(QStringLiteral("Date illisible : « %1 ». Écrivez-la sous la forme AAAA-MM-JJ.").arg(jour), true);
        return resultatTexte(QString::fromUtf8(QJsonDocument(relancesDues(donnees.store(), jour)).toJson(QJsonDocument::Compact)), false);
    }
    const QString paquet = donnees.donnees(aujourdhui);
    QJsonValue extra;
    if (nom == QLatin1String("lire_appel"))
        if (const model::Appel* a = donnees.store().etat().appel(arguments.value(QLatin1String("id")).toString()))
            extra = QString::fromUtf8(QJsonDocument(model::versObjetJson(*a)).toJson(QJsonDocument::Compact));
    auto r = moteur.appelerTexte(QStringLiteral("quilloOutil"), {nom, arguments, paquet, extra});
    if (!r)
        return resultatTexte(r.erreur().description(), true);
    const QJsonObject o = QJsonDocument::fromJson(r.valeur().toUtf8()).object();
    return resultatTexte(r.valeur(), o.contains(QLatin1String("erreur")));
}

} // namespace

int commandeMcp(const QStringList& args)
{
    if (!args.isEmpty())
        return erreur(QStringLiteral("Utilisation : vendalo mcp (le serveur lit ses messages sur l'entrée standard)."), 2);
    ai::Moteur& moteur = ai::Moteur::instance();
    Instantane donnees;
    QJsonArray liste;
    QFile entree;
    if (!entree.open(stdin, QIODevice::ReadOnly))
        return erreur(QStringLiteral("L'entrée standard ne peut pas être lue."));
    while (true) {
        const QByteArray ligne = entree.readLine();
        if (ligne.isEmpty())
            break;   // the client closed the pipe
        if (ligne.trimmed().isEmpty())
            continue;
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(ligne, &pe);
        if (pe.error != QJsonParseError::NoError) {
            envoyer(erreurRpc(QJsonValue::Null, -32700, QStringLiteral("Message illisible : ") + pe.errorString()));
            continue;
        }
        const QJsonObject m = doc.object();
        const QJsonValue id = m.value(QLatin1String("id"));
        const QString methode = m.value(QLatin1String("method")).toString();
        const bool notification = id.isUndefined();
        if (!doc.isObject() || m.value(QLatin1String("jsonrpc")).toString() != QLatin1String("2.0") || methode.isEmpty()) {
            if (!notification)
                envoyer(erreurRpc(id, -32600, QStringLiteral("Requête invalide.")));
            continue;
        }
        if (notification)
            continue;   // "notifications/initialized", "notifications/cancelled"…: no answer
        const QJsonObject params = m.value(QLatin1String("params")).toObject();
        if (methode == QLatin1String("initialize")) {
            const QString demandee = params.value(QLatin1String("protocolVersion")).toString();
            envoyer(reponse(id, QJsonObject{
                                    {QStringLiteral("protocolVersion"), versionsProtocole.contains(demandee) ? demandee : versionsProtocole.first()},
                                    {QStringLiteral("capabilities"), QJsonObject{{QStringLiteral("tools"), QJsonObject()}}},
                                    {QStringLiteral("serverInfo"), QJsonObject{{QStringLiteral("name"), QStringLiteral("vendalo")},
                                                                               {QStringLiteral("version"), QStringLiteral(VD_VERSION)}}},
                                    {QStringLiteral("instructions"),
                                     QStringLiteral("Lecture seule : les appels, le CRM et les relances de Vendalo sur cet ordinateur.")}}));
        } else if (methode == QLatin1String("ping")) {
            envoyer(reponse(id, QJsonObject()));
        } else if (methode == QLatin1String("tools/list")) {
            if (liste.isEmpty())
                liste = outils(moteur);
            envoyer(reponse(id, QJsonObject{{QStringLiteral("tools"), liste}}));
        } else if (methode == QLatin1String("tools/call")) {
            if (liste.isEmpty())
                liste = outils(moteur);
            const QString nom = params.value(QLatin1String("name")).toString();
            const bool connu = std::any_of(liste.begin(), liste.end(), [&](const QJsonValue& o) { return o.toObject().value(QLatin1String("name")).toString() == nom; });
            if (!connu)
                envoyer(erreurRpc(id, -32602, QStringLiteral("Outil inconnu : %1.").arg(nom)));
            else
                envoyer(reponse(id, appelerOutil(moteur, donnees, nom, params.value(QLatin1String("arguments")).toObject())));
        } else {
            envoyer(erreurRpc(id, -32601, QStringLiteral("Méthode inconnue : %1.").arg(methode)));
        }
    }
    return 0;
}

} // namespace vd::app
