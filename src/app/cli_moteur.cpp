// « vendalo moteur NOM [ARGUMENT...] » and « vendalo autotest ».
#include "ai/autotest.h"
#include "ai/moteur.h"
#include "cli.h"
#include "cli_commandes.h"
#include "contextecommande.h"
#include "model/store.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace vd::app {

namespace {

// An argument is JSON when it parses as such ('{"a":1}', '42', 'true', '"texte"');
// anything else is passed as plain text. "@FICHIER" reads the argument from a file.
std::optional<QJsonValue> lireArgument(const QString& brut, QString& erreurLecture)
{
    QByteArray octets = brut.toUtf8();
    if (brut.startsWith(QLatin1Char('@')) && brut.size() > 1) {
        QFile f(brut.mid(1));
        if (!f.open(QIODevice::ReadOnly)) {
            erreurLecture = QStringLiteral("Impossible d'ouvrir « %1 » : %2").arg(brut.mid(1), f.errorString());
            return std::nullopt;
        }
        octets = f.readAll();
    }
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson("[" + octets + "]", &err);
    if (err.error == QJsonParseError::NoError && doc.array().size() == 1)
        return doc.array().at(0);
    return QJsonValue(QString::fromUtf8(octets));
}

// The data the script reads before a task: the demonstration state under
// VD_TEST_MOTEUR=1, else the user's store file as it is on disk (read only).
std::optional<QJsonValue> etatPourLeMoteur(ai::Moteur& moteur, const QString& fichier)
{
    if (fichier.isEmpty() && qEnvironmentVariable("VD_TEST_MOTEUR") == QLatin1String("1")) {
        auto demo = moteur.appelerJSON(QStringLiteral("etatDemo"));
        return demo ? std::optional(demo.valeur()) : std::nullopt;
    }
    if (fichier.isEmpty())
        recupererSiLibre();   // a reader never waits for the folder, and writes nothing when it is held
    QFile f(fichier.isEmpty() ? model::Store::cheminPrincipal() : fichier);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    return doc.isObject() ? std::optional<QJsonValue>(doc.object()) : std::nullopt;
}

void afficherTexte(const QString& texte)
{
    const QJsonDocument doc = QJsonDocument::fromJson(texte.toUtf8());
    if (doc.isObject())
        sortieJson(doc.object());
    else if (doc.isArray())
        sortieJson(doc.array());
    else
        sortieTexte(texte);
}

} // namespace

int commandeMoteur(const QStringList& args)
{
    const QString usage = QStringLiteral("Utilisation : vendalo moteur [--etat FICHIER | --sans-etat] NOM [ARGUMENT...]\n"
                                         "Chaque ARGUMENT est du JSON, ou un texte simple ; « @FICHIER » lit l'argument dans un fichier.");
    QStringList reste = args;
    QString fichierEtat;
    bool sansEtat = false;
    while (!reste.isEmpty() && reste.first().startsWith(QLatin1String("--"))) {
        const QString option = reste.takeFirst();
        if (option == QLatin1String("--sans-etat"))
            sansEtat = true;
        else if (option == QLatin1String("--etat") && !reste.isEmpty())
            fichierEtat = reste.takeFirst();
        else
            return erreur(usage, 2);
    }
    if (reste.isEmpty())
        return erreur(usage, 2);
    const QString nom = reste.takeFirst();
    ai::Moteur::Arguments arguments;
    for (const QString& a : reste) {
        QString pourquoi;
        auto v = lireArgument(a, pourquoi);
        if (!v)
            return erreur(pourquoi);
        arguments << *v;
    }

    ai::Moteur& moteur = ai::Moteur::instance();
    return moteur.enSequence([&](ai::Moteur& m) -> int {
        if (auto e = m.charger())
            return erreur(ai::ErreurMoteur::chargement(*e).description());
        if (!sansEtat && nom != QLatin1String("chargerEtat")) {
            if (!fichierEtat.isEmpty() && !QFile::exists(fichierEtat))
                return erreur(QStringLiteral("Le fichier « %1 » est introuvable.").arg(fichierEtat));
            if (auto etat = etatPourLeMoteur(m, fichierEtat)) {
                auto c = m.appeler(QStringLiteral("chargerEtat"), {*etat});
                if (!c)
                    return erreur(c.erreur().description());
            }
        }
        if (!m.aFonction(nom))
            return erreur(QStringLiteral("Moteur.") + nom + QStringLiteral(" n'a rien rendu."));
        auto r = m.appeler(nom, arguments);
        if (!r)
            return erreur(r.erreur().description());
        const ai::ValeurJS& v = r.valeur();
        switch (v.type) {
        case ai::ValeurJS::Type::indefini: break;
        case ai::ValeurJS::Type::null: sortieTexte(QStringLiteral("null")); break;
        case ai::ValeurJS::Type::booleen: sortieTexte(v.booleen ? QStringLiteral("true") : QStringLiteral("false")); break;
        case ai::ValeurJS::Type::nombre:
            if (!std::isfinite(v.nombre))
                return erreur(QStringLiteral("Moteur.") + nom + QStringLiteral(" n'a pas rendu de nombre."));
            sortieJson(QJsonValue(v.nombre));
            break;
        case ai::ValeurJS::Type::texte: afficherTexte(v.texte); break;
        case ai::ValeurJS::Type::objet: afficherTexte(v.texte); break;
        }
        return 0;
    });
}

int commandeAutotest(const QStringList& args)
{
    if (!args.isEmpty())
        return erreur(QStringLiteral("Utilisation : vendalo autotest"), 2);
    const ai::ResultatAutotest r = ai::autotestMoteur(ai::Moteur::instance(), [](const QString& ligne) { sortieTexte(ligne); });
    return r.ok() ? 0 : 1;
}

} // namespace vd::app
