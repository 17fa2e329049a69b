#pragma once
// Environment of a vendalo process a test starts: its own data and settings folders
// under the test's folder, the real engine, and (unless the test checks the lookup
// itself) the built resources. Below, the whole program built inside the test's process.
#include "app/ecrans/application.h"
#include "call/ecrans/fenetresouffleur.h"
#include "platform/horloge.h"
#include "platform/preferences.h"
#include "ui/ecrans/style.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

inline QProcessEnvironment environnementVendalo(const QTemporaryDir& dossier, bool ressourcesConstruites = true)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("XDG_DATA_HOME"), dossier.filePath(QStringLiteral("donnees")));
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier.filePath(QStringLiteral("config")));
#ifdef VD_RESOURCES_DIR
    if (ressourcesConstruites)
        e.insert(QStringLiteral("VD_RESOURCES_DIR"), QStringLiteral(VD_RESOURCES_DIR));
#endif
    e.remove(QStringLiteral("VD_TEST_MOTEUR"));
    return e;
}

// What a vendalo process printed, once it has ended.
struct SortieVendalo {
    int code = -1;
    QByteArray sortie;
    QString erreurs;
    QString texte() const { return QString::fromUtf8(sortie); }
    QJsonDocument json() const { return QJsonDocument::fromJson(sortie); }
    QString derniereErreur() const { return erreurs.trimmed().split(QLatin1Char('\n')).last(); }
};

#ifdef VD_VENDALO_BIN
// Runs vendalo to its end, entree on its standard input, turning the event loop meanwhile (fakes of this
// process answer it); a run past delaiMs is killed and reads as code -1.
inline SortieVendalo lancerVendalo(const QProcessEnvironment& env, const QStringList& args, const QByteArray& entree = {},
                                   int delaiMs = 60000, const QString& dossierTravail = {})
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dossierTravail);
    p.start(QStringLiteral(VD_VENDALO_BIN), args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(entree);
    p.closeWriteChannel();
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < delaiMs)
        QTest::qWait(20);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
}

// The demonstration data imported into the data folder env points at: their JSON, empty on failure.
inline QByteArray importerDemo(const QProcessEnvironment& env)
{
    const SortieVendalo demo = lancerVendalo(env, {QStringLiteral("moteur"), QStringLiteral("--sans-etat"), QStringLiteral("etatDemo")});
    if (demo.code != 0 || lancerVendalo(env, {QStringLiteral("sauvegarde"), QStringLiteral("importer"), QStringLiteral("-")}, demo.sortie).code != 0)
        return {};
    return demo.sortie;
}
#endif

// Writes contenu to chemin and gives chemin back (empty when it cannot be written).
inline QString ecrireFichier(const QString& chemin, const QByteArray& contenu = {})
{
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly) && f.write(contenu) == contenu.size() ? chemin : QString();
}

// What chemin holds (empty when it cannot be read).
inline QByteArray lireFichier(const QString& chemin)
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The data folder's state as a reader sees it (the file and its change journal); empty without a file.
inline QJsonObject etatSurDisque(const QTemporaryDir& dossier)
{
    const QString chemin = dossier.filePath(QStringLiteral("donnees/Vendalo/etat.json"));
    if (!QFile::exists(chemin))
        return {};
    const vd::model::Store lu(chemin, vd::model::Store::Acces::lecture);
    return QJsonDocument::fromJson(vd::model::versTexteJson(lu.etat())).object();
}

// The objects of a JSON list whose field cle holds valeur.
inline QList<QJsonObject> parChamp(const QJsonValue& liste, const QString& valeur, const QString& cle = QStringLiteral("id"))
{
    QList<QJsonObject> r;
    for (const QJsonValue& v : liste.toArray())
        if (v.toObject().value(cle).toString() == valeur)
            r << v.toObject();
    return r;
}

// For tests that show screens: settings and data in the test folders, the app's style.
inline void preparerEcrans()
{
    QStandardPaths::setTestModeEnabled(true);
    vd::ui::style::appliquer(*qApp);
}

// The non-empty texts of the labels and buttons w shows.
inline QStringList textesVisibles(QWidget* w)
{
    QStringList t;
    for (QLabel* l : w->findChildren<QLabel*>())
        if (l->isVisibleTo(w) && !l->text().isEmpty())
            t << l->text();
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->isVisibleTo(w) && !b->text().isEmpty())
            t << b->text();
    return t;
}

// The first button w shows with that text, if any.
inline QPushButton* bouton(QWidget* w, const QString& texte)
{
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == texte && b->isVisibleTo(w))
            return b;
    return nullptr;
}

// The floating prompter's window.
inline vd::call::FenetreSouffleur* souffleurFlottant()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<vd::call::FenetreSouffleur*>(w))
            return f;
    return nullptr;
}

// Claire Martin of Brevia (id c1), at the discovery stage.
inline vd::model::Contact claireMartin()
{
    return {.id = "c1", .prenom = "Claire", .nom = "Martin", .societe = "Brevia", .etape = "decouverte"};
}

// The pre-flight's audio probe, answering what the test sets.
struct SondeAudioFactice : vd::app::SondeAudio {
    vd::app::EtatAudio etat;
    vd::app::EtatAudio sonder() override { return etat; }
};

struct ReglagesBanc {
    std::optional<vd::model::Etat> etat;   // the store's content (none: empty)
    vd::app::OptionsLancement options;
    QString fichier;                       // the store's file (none: in memory, never on an account)
    QDateTime depart = QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC);
    bool premierLancement = false;   // the login default not applied yet
    bool demarrer = true;
};

// The whole program on a fake clock, its preferences in memory, the fake login service and the
// fake audio probe.
struct BancApplication {
    vd::platform::HorlogeFactice horloge;
    vd::platform::PreferencesMemoire prefs;
    vd::app::ServiceDemarrageFactice* service = new vd::app::ServiceDemarrageFactice;
    SondeAudioFactice* sonde = new SondeAudioFactice;
    std::unique_ptr<vd::app::Application> app;

    explicit BancApplication(ReglagesBanc r = {}) : horloge(r.depart)
    {
        if (!r.premierLancement)
            prefs.definir(QStringLiteral("vd.demarrage.defautApplique"), true);
        auto store = std::make_unique<vd::model::Store>(r.fichier, horloge);
        if (r.etat)
            store->remplacerEtat(*r.etat);
        app = std::make_unique<vd::app::Application>(std::move(store), r.options, horloge, prefs,
                                                     std::unique_ptr<vd::app::ServiceDemarrage>(service));
        app->setSondeAudio(std::unique_ptr<vd::app::SondeAudio>(sonde));
        if (r.demarrer)
            app->demarrer();
    }
    bool appelActif() { return app->contexte().appelActif(); }
    // Runs the fake clock by pasMs (turning the event loop, pauseMs of real time a step when the work
    // runs on other threads) until cond holds, fois steps at most.
    bool tourner(const std::function<bool()>& cond, int pasMs, int fois, int pauseMs = 0)
    {
        for (int i = 0; i < fois && !cond(); ++i) {
            QCoreApplication::processEvents();
            if (pauseMs)
                QTest::qWait(pauseMs);
            horloge.avancer(pasMs);
        }
        return cond();
    }
};
