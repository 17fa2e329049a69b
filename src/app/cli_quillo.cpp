#include "ai/accescloudsupabase.h"
#include "assistant/quillosession.h"
#include "cli.h"
#include "cli_commandes.h"
#include "cloud/clientsupabase.h"
#include "cloud/session.h"
#include "contextecommande.h"
#include "model/store.h"
#include "platform/coffre.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>

namespace vd::app {

namespace {

const QString usage = QStringLiteral(
    "Utilisation : vendalo quillo [--conversation ID] [--demo] QUESTION | quillo appliquer|ignorer CONVERSATION TOOL_CALL_ID");

// The proposals still waiting, as the last JSON line shows them.
QJsonArray propositionsEnAttente(const assistant::ConversationQuillo& c)
{
    QJsonArray r;
    for (const assistant::ElementQuillo& e : c.affichage)
        if (e.genre == assistant::ElementQuillo::Genre::proposition && e.statut == QLatin1String("attente") && e.toolUseId)
            r.append(QJsonObject{{QStringLiteral("id"), *e.toolUseId},
                                 {QStringLiteral("outil"), e.outil.value_or(QString())},
                                 {QStringLiteral("action"), e.texte}});
    return r;
}

int decider(model::Store& store, const QString& action, const QString& conversation, const QString& outil)
{
    assistant::QuilloSession s(store, {});
    if (!s.ouvrir(conversation))
        return erreur(QStringLiteral("Conversation introuvable : %1.").arg(conversation), 1);
    const assistant::ElementQuillo* carte = nullptr;
    for (const assistant::ElementQuillo& e : s.conversation().affichage)
        if (e.genre == assistant::ElementQuillo::Genre::proposition && e.toolUseId == outil)
            carte = &e;
    if (!carte)
        return erreur(QStringLiteral("Proposition introuvable : %1.").arg(outil), 1);
    if (carte->statut != QLatin1String("attente"))
        return erreur(QStringLiteral("Cette proposition n'attend plus de choix (%1).").arg(assistant::libelleStatut(carte->statut.value_or(QString()))), 1);
    if (action == QLatin1String("appliquer"))
        s.appliquer(outil);
    else
        s.ignorer(outil);
    for (const assistant::ElementQuillo& e : s.conversation().affichage)
        if (e.genre == assistant::ElementQuillo::Genre::proposition && e.toolUseId == outil) {
            sortieJson(QJsonObject{{QStringLiteral("id"), outil},
                                   {QStringLiteral("statut"), e.statut.value_or(QString())},
                                   {QStringLiteral("detail"), e.detail.value_or(QString())}},
                       false);
            ecrireSortie("\n");
    ecrireSortie("\n");
            return e.statut == QLatin1String("echec") ? 1 : 0;
        }
    return 1;
}

int demander(model::Store& store, const QString& question, const std::optional<QString>& conversation, bool demo)
{
    const cloud::ConfigCloud configCloud = cloud::ConfigCloud::duProgramme();
    cloud::StockageSession stockage(platform::Coffre::instance());
    std::unique_ptr<cloud::ClientSupabase> supabase =
        configCloud.active() && !demo ? std::make_unique<cloud::ClientSupabase>(configCloud, &stockage) : nullptr;
    std::unique_ptr<ai::AccesCloudSupabase> acces = supabase ? std::make_unique<ai::AccesCloudSupabase>(*supabase) : nullptr;
    assistant::ConfigQuillo config;
    config.client.routes = ai::routesDuStore(store);
    config.client.cloud = acces.get();
    if (demo)
        config.sourceForcee = assistant::SourceQuillo::demo;
    assistant::QuilloSession s(store, config);
    if (conversation && !s.ouvrir(*conversation))
        return erreur(QStringLiteral("Conversation introuvable : %1.").arg(*conversation), 1);
    const qsizetype premier = s.conversation().affichage.size();
    QHash<QString, qsizetype> ecrit;   // element id → characters already printed
    QObject::connect(&s, &assistant::QuilloSession::texteRecu, &s, [&](const QString& id) {
        for (const assistant::ElementQuillo& e : s.conversation().affichage)
            if (e.id == id) {
                const qsizetype deja = ecrit.value(id);
                ecrireSortie(e.texte.mid(deja).toUtf8());
                ecrit[id] = e.texte.size();
            }
    });
    qsizetype vus = premier;
    QObject::connect(&s, &assistant::QuilloSession::changement, &s, [&] {
        const auto& a = s.conversation().affichage;
        for (; vus < a.size(); ++vus) {
            const assistant::ElementQuillo& e = a[vus];
            using G = assistant::ElementQuillo::Genre;
            if (e.genre == G::outil || e.genre == G::memoire || e.genre == G::navigation || e.genre == G::erreur)
                ecrireErreurs((e.texte + QLatin1Char('\n')).toUtf8());
            else if (e.genre == G::proposition)
                ecrireErreurs((QStringLiteral("Proposition : ") + e.texte + QLatin1Char('\n')).toUtf8());
            else if (e.genre == G::reponse && !ecrit.isEmpty())
                ecrireSortie("\n");
        }
    });
    QEventLoop boucle;
    QObject::connect(&s, &assistant::QuilloSession::fini, &boucle, &QEventLoop::quit);
    s.demander(question);
    if (s.enCours())
        boucle.exec();
    if (!ecrit.isEmpty())
        ecrireSortie("\n");
    QJsonArray outils;
    for (const QString& o : s.outilsAppeles())
        outils.append(o);
    sortieJson(QJsonObject{{QStringLiteral("conversation"), s.conversation().id},
                           {QStringLiteral("outils"), outils},
                           {QStringLiteral("propositions"), propositionsEnAttente(s.conversation())}},
               false);
    ecrireSortie("\n");
    const auto& a = s.conversation().affichage;
    return !a.isEmpty() && a.last().genre == assistant::ElementQuillo::Genre::erreur ? 1 : 0;
}

} // namespace

int commandeQuillo(const QStringList& args)
{
    if (!args.isEmpty() && (args[0] == QLatin1String("appliquer") || args[0] == QLatin1String("ignorer"))) {
        if (args.size() != 3)
            return erreur(usage, 2);
        return executerEnEcriture(QStringLiteral("quillo"), args,
                                  [&](model::Store& store) { return decider(store, args[0], args[1], args[2]); });
    }
    std::optional<QString> conversation;
    bool demo = false;
    QStringList mots;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--demo"))
            demo = true;
        else if (args[i] == QLatin1String("--conversation") && i + 1 < args.size())
            conversation = args[++i];
        else if (args[i].startsWith(QLatin1String("--")))
            return erreur(usage, 2);
        else
            mots << args[i];
    }
    const QString question = mots.join(QLatin1Char(' ')).trimmed();
    if (question.isEmpty())
        return erreur(usage, 2);
    return executerEnEcriture(QStringLiteral("quillo"), args,
                              [&](model::Store& store) { return demander(store, question, conversation, demo); });
}

} // namespace vd::app
