// Who writes the data folder: the lock, the hand-off to the process that holds
// it, and the context a relayed command runs in.
#include "cli.h"
#include "contextecommande.h"
#include "instanceunique.h"
#include "model/store.h"
#include "platform/dossiers.h"
#include "platform/lecture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>
#include <cstdio>

Q_LOGGING_CATEGORY(lcAcces, "vd.app.acces")

namespace vd::app {

namespace {

ContexteCommande* courant = nullptr;

// How long a writer waits for another subcommand to release the folder.
constexpr int attenteVerrouMs = 3000;

// Commands a relayed request may name: those that change stored data.
bool accepteeEnRelais(const QString& nom)
{
    return nom == QLatin1String("sauvegarde") || nom == QLatin1String("simuler") || nom == QLatin1String("contacts")
        || nom == QLatin1String("importer") || nom == QLatin1String("synchroniser") || nom == QLatin1String("relances")
        || nom == QLatin1String("quillo") || nom == QLatin1String("agenda");
}

void ecrireFlux(FILE* flux, const QByteArray& octets)
{
    std::fwrite(octets.constData(), 1, size_t(octets.size()), flux);
    std::fflush(flux);
}

} // namespace

ContexteCommande* contexteCommande() { return courant; }

PorteeCommande::PorteeCommande(ContexteCommande& c) : precedent_(courant) { courant = &c; }
PorteeCommande::~PorteeCommande() { courant = precedent_; }

void ecrireSortie(const QByteArray& octets)
{
    if (courant)
        courant->sortie += octets;
    else
        ecrireFlux(stdout, octets);
}

void ecrireErreurs(const QByteArray& octets)
{
    if (courant)
        courant->erreurs += octets;
    else
        ecrireFlux(stderr, octets);
}

bool lireEntreeStandard(QByteArray& octets)
{
    if (courant) {
        octets = courant->entree.value_or(QByteArray());
        return true;
    }
    static std::optional<QByteArray> lue;
    if (!lue) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return false;
        // Bounded: a pipe from /dev/zero must not exhaust the memory.
        auto lu = platform::lireBorne(in, QStringLiteral("l'entrée standard"), platform::limiteSauvegarde, true);
        if (!lu)
            return false;
        lue = std::move(lu.valeur());
    }
    octets = *lue;
    return true;
}

QString cheminCommande(const QString& chemin)
{
    if (!courant || chemin == QLatin1String("-") || QFileInfo(chemin).isAbsolute())
        return chemin;
    return QDir(courant->dossier).absoluteFilePath(chemin);
}

int executerEnEcriture(const QString& commande, const QStringList& args, const std::function<int(model::Store&)>& corps,
                       bool servir)
{
    if (courant && courant->store)
        return corps(*courant->store);
    const QString dossier = platform::dossierDonnees();
    InstanceUnique instance(dossier);
    std::optional<RequeteCommande> requete;
    QElapsedTimer attente;
    attente.start();
    for (;;) {
        if (instance.prendre()) {
            model::Store store(model::Store::cheminPrincipal());
            if (!store.ecritureBloquee())
                store.fermerAppelsInterrompus();
            if (servir) {
                instance.servir();
                instance.setExecuteur([&store](const RequeteCommande& r, std::function<void(const ReponseCommande&)> repondre) {
                    ContexteCommande base;
                    base.store = &store;
                    executerRequete(r, std::move(base), repondre);
                });
            }
            const int code = corps(store);
            store.sauvegarder(true);
            if (code == 0 && store.erreurSauvegarde())
                return erreur(*store.erreurSauvegarde());
            return code;
        }
        if (!requete) {
            requete = RequeteCommande{QStringList{commande} + args, std::nullopt, QDir::currentPath()};
            if (args.contains(QStringLiteral("-"))) {
                QByteArray entree;
                if (!lireEntreeStandard(entree))
                    return erreur(QStringLiteral("Impossible de lire l'entrée standard."));
                requete->entree = entree;
            }
        }
        const relais::Issue issue = relais::envoyer(InstanceUnique::nomServeurPour(dossier), *requete);
        if (const QString* message = std::get_if<QString>(&issue))
            return erreur(*message);
        if (const ReponseCommande* r = std::get_if<ReponseCommande>(&issue)) {
            ecrireSortie(r->sortie);
            ecrireErreurs(r->erreurs);
            return r->code;
        }
        // Held by a process that does not take requests: wait a little for it.
        if (attente.elapsed() > attenteVerrouMs)
            return erreur(relais::messageOccupe());
        QThread::msleep(100);
    }
}

void recupererSiLibre()
{
    if (courant)
        return;
    const QString dossier = platform::dossierDonnees();
    if (!QFileInfo::exists(model::Store::cheminPrincipal()))
        return;
    QLockFile verrou(InstanceUnique::cheminVerrou(dossier));
    verrou.setStaleLockTime(0);
    if (!verrou.tryLock(0))
        return;
    model::Store store(model::Store::cheminPrincipal());
    if (!store.ecritureBloquee())
        store.fermerAppelsInterrompus();
}

int executerEnLecture(const std::function<int(model::Store&)>& corps)
{
    if (courant && courant->store)
        return corps(*courant->store);
    recupererSiLibre();
    model::Store store(model::Store::cheminPrincipal(), model::Store::Acces::lecture);
    return corps(store);
}

void executerRequete(const RequeteCommande& requete, ContexteCommande base,
                     const std::function<void(const ReponseCommande&)>& repondre)
{
    const QString nom = requete.args.value(0);
    const Commande* c = trouverCommande(nom);
    if (!c || !accepteeEnRelais(nom)) {
        ReponseCommande r;
        r.code = 2;
        r.erreurs = QStringLiteral("Commande inconnue : « %1 ». Essayez « vendalo --help ».\n").arg(nom).toUtf8();
        repondre(r);
        return;
    }
    if (nom == QLatin1String("simuler") && !base.session) {
        // This process is itself a long command: it cannot start a second call.
        ReponseCommande r;
        r.erreurs = (relais::messageOccupe() + QLatin1Char('\n')).toUtf8();
        repondre(r);
        return;
    }
    // Run from the event loop, never inside the socket's own signal.
    model::Store* cible = base.store;
    QTimer::singleShot(0, cible, [requete, base = std::move(base), repondre, c]() mutable {
        ContexteCommande contexte = std::move(base);
        contexte.entree = requete.entree;
        contexte.dossier = requete.dossier;
        ReponseCommande r;
        {
            PorteeCommande portee(contexte);
            r.code = c->executer(requete.args.mid(1));
        }
        r.sortie = contexte.sortie;
        r.erreurs = contexte.erreurs;
        qCInfo(lcAcces) << "commande relayée" << requete.args.value(0) << "code" << r.code;
        repondre(r);
    });
}

} // namespace vd::app
