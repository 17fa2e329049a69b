// "vendalo frameworks": the stored sales frameworks and the templates in JSON;
// "vendalo frameworks valider FICHIER.json": the checks a save runs.
#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "model/store.h"
#include "team/framework.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vd::app {

namespace {

const QString usage = QStringLiteral("Utilisation : vendalo frameworks | vendalo frameworks valider FICHIER.json");

QJsonObject versJson(const team::ModeleCycle& m)
{
    QJsonArray etapes;
    for (const team::EtapeFramework& e : m.etapes)
        etapes.append(e.versJson());
    return {{QStringLiteral("id"), m.id},         {QStringLiteral("nom"), m.nom},
            {QStringLiteral("description"), m.description}, {QStringLiteral("pourQui"), m.pourQui},
            {QStringLiteral("icone"), m.icone},   {QStringLiteral("grille"), m.grille},
            {QStringLiteral("etapes"), etapes}};
}

int lister(model::Store& store)
{
    QJsonArray frameworks;
    for (const team::FrameworkVente& f : team::frameworksDe(store.etat()))
        frameworks.append(f.versJson());
    QJsonArray modeles;
    for (const team::ModeleCycle& m : team::modelesCycle())
        modeles.append(versJson(m));
    const auto utilise = team::frameworkPourMethode(store.etat(), store.etat().reglages.methode);
    sortieJson(QJsonObject{{QStringLiteral("frameworks"), frameworks},
                           {QStringLiteral("parDefaut"), utilise ? QJsonValue(utilise->id) : QJsonValue(QJsonValue::Null)},
                           {QStringLiteral("modeles"), modeles}});
    return 0;
}

int valider(const QString& chemin)
{
    QFile f(cheminCommande(chemin));
    if (!f.open(QIODevice::ReadOnly))
        return erreur(QStringLiteral("Fichier introuvable ou illisible : %1").arg(chemin), 1);
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &e);
    const auto fw = team::FrameworkVente::depuisJson(doc.object());
    if (e.error != QJsonParseError::NoError || !doc.isObject() || !fw)
        return erreur(QStringLiteral("Ce fichier ne contient pas un Framework en JSON."), 1);
    std::optional<QString> m = team::validerFramework(*fw);
    if (!m && fw->qualification)
        m = team::validerGrille(*fw->qualification);
    if (m)
        return erreur(*m, 1);
    sortieTexte(QStringLiteral("Framework valide."));
    return 0;
}

} // namespace

int commandeFrameworks(const QStringList& args)
{
    if (args.isEmpty())
        return executerEnLecture([](model::Store& store) { return lister(store); });
    if (args.size() == 2 && args[0] == QLatin1String("valider"))
        return valider(args[1]);
    return erreur(usage, 2);
}

} // namespace vd::app
