// The store's life cycle: debounced and immediate saves, loading, quarantine,
// unreadable files, import/export, retention, framework questions.
#include "model/journal.h"
#include "model/store.h"
#include "platform/horloge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace vd::model;
using vd::platform::HorlogeFactice;

namespace {

QByteArray lireFichier(const QString& chemin)
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void ecrireFichier(const QString& chemin, const QByteArray& b)
{
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(b);
}

Appel appel(const QString& id, const QString& debut, const QString& statut = QStringLiteral("analyse"))
{
    return {.id = id, .debut = debut, .statut = statut, .creeLe = debut};
}

} // namespace

class TstStore : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    HorlogeFactice h;   // set back to 2 March 2026, 9:00 before each test
    QString chemin() const { return dir_.path() + QStringLiteral("/Vendalo/etat.json"); }
    QString cheminJournal() const { return dir_.path() + QStringLiteral("/Vendalo/etat.journal"); }
    // A file stands where the store's folder should be: every write fails until it goes.
    QString cheminBloque() const
    {
        ecrireFichier(dir_.path() + QStringLiteral("/bloque"), "fichier");
        return dir_.path() + QStringLiteral("/bloque/etat.json");
    }

    // Saves "base" then each entry through the journal, and leaves file and journal
    // as a process killed before its quit would; returns the journal's bytes.
    QByteArray journalSansQuitter(const QStringList& entrees)
    {
        const QStringList fichiers{cheminJournal(), chemin()};
        QByteArray octets;
        {
            Store s(chemin(), h);
            s.modifier([](Etat& e) { e.quilloMemoire = {QStringLiteral("base")}; });
            s.sauvegarder(true);
            for (const QString& entree : entrees) {
                s.modifier([&entree](Etat& e) { e.quilloMemoire.append(entree); });
                s.sauvegarder(true);
            }
            octets = lireFichier(cheminJournal());
            for (const QString& f : fichiers)
                QFile::copy(f, f + QStringLiteral(".garde"));
        }
        for (const QString& f : fichiers) {
            QFile::remove(f);
            QFile::rename(f + QStringLiteral(".garde"), f);
        }
        return octets;
    }

private Q_SLOTS:
    void init()
    {
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        h.fixer(QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC));
    }

    void rafaleDonneUneEcriture()
    {
        Store s(chemin(), h);
        // Three changes 0.2 s apart: the file appears once, 0.5 s after the third.
        for (int i = 0; i < 3; ++i) {
            s.modifier([i](Etat& e) { e.quilloMemoire.append(QString::number(i)); });
            h.avancer(200);
            QVERIFY(s.sauvegardeEnAttente());
        }
        QVERIFY(!QFile::exists(chemin()));
        h.avancer(299);
        QVERIFY(s.sauvegardeEnAttente());
        h.avancer(1);
        QVERIFY(!s.sauvegardeEnAttente());
        QVERIFY(!s.modifie());
        QTRY_VERIFY(QFile::exists(chemin()));   // written by the writer thread, its folder created
        QVERIFY(!lireFichier(chemin()).contains('\n'));   // compact
        QVERIFY(!s.erreurSauvegarde());
        const QJsonObject o = QJsonDocument::fromJson(lireFichier(chemin())).object();
        QCOMPARE(o.value(QStringLiteral("quilloMemoire")).toArray().size(), 3);
        h.avancer(5000);
        QVERIFY(!s.sauvegardeEnAttente());   // nothing else scheduled
    }

    void memoireNEcritJamais()
    {
        Store s({}, h);
        s.modifier([](Etat& e) { e.version = 3; });
        QVERIFY(!s.sauvegardeEnAttente());
        h.avancer(1000);
        s.sauvegarder(true);
        QVERIFY(!s.fichier());
        QCOMPARE(s.etat().version, qint64(3));
    }

    void instantaneDeLaSauvegarde()
    {
        // What is written is the state at the time of the save, even if it changes right after.
        Store s(chemin(), h);
        s.modifier([](Etat& e) { e.quilloMemoire = {QStringLiteral("avant")}; });
        s.sauvegarder(false);
        s.modifier([](Etat& e) { e.quilloMemoire = {QStringLiteral("après")}; });
        QVERIFY(s.modifie());   // the change after the snapshot schedules another save
        s.sauvegarder(true);
        // On disk: the file plus its journal, as a reader sees them.
        Store relu(chemin(), Store::Acces::lecture, h);
        QCOMPARE(relu.etat().quilloMemoire, QStringList{QStringLiteral("après")});
    }

    // The change journal: small appends, replayed at load, folded into the file.
    void modificationEcritePeu()
    {
        const QString journal = cheminJournal();
        {
            Store s(chemin(), h);
            s.modifier([](Etat& e) {
                for (int i = 0; i < 500; ++i)
                    e.contacts.append({.id = QStringLiteral("c%1").arg(i), .nom = QStringLiteral("Durand %1").arg(i)});
            });
            s.sauvegarder(true);
            const qint64 tailleFichier = QFileInfo(chemin()).size();
            const qint64 avant = s.octetsEcrits();
            s.modifier([](Etat& e) { e.contacts[250].notes = QStringLiteral("Rappeler jeudi"); });
            s.sauvegarder(true);
            const qint64 ecrits = s.octetsEcrits() - avant;
            QVERIFY2(ecrits > 0 && ecrits < 1024, qPrintable(QString::number(ecrits)));
            QCOMPARE(QFileInfo(chemin()).size(), tailleFichier);   // the file is left alone
            QVERIFY(QFile::exists(journal));
            // Insert first, delete, change: replayed in order by a reader.
            s.modifier([](Etat& e) {
                e.contacts.prepend({.id = "nouveau"});
                e.contacts.removeAt(10);
                e.contacts[400].prenom = QStringLiteral("Léa");
                e.reglages.onboarde = true;
            });
            s.sauvegarder(true);
            Store relu(chemin(), Store::Acces::lecture, h);
            QCOMPARE(relu.etat(), s.etat());
            QCOMPARE(lireFichier(chemin()).size(), tailleFichier);   // the reader wrote nothing
        }
        // Closed: the file holds everything, in its own format.
        const QJsonObject o = QJsonDocument::fromJson(lireFichier(chemin())).object();
        const QJsonArray contacts = o.value(QStringLiteral("contacts")).toArray();
        QCOMPARE(QStringList({QString::number(contacts.size()), contacts.at(0)[QStringLiteral("id")].toString(),
                              contacts.at(250)[QStringLiteral("notes")].toString()}),
                 QStringList({"500", "nouveau", "Rappeler jeudi"}));
        QVERIFY(o.value(QStringLiteral("reglages")).toObject().value(QStringLiteral("onboarde")).toBool());
    }

    // A run started on a compacted file whose fresh journal was never written appends a
    // second marker to the old journal; killed before its own rename, the file in place is
    // the first marker's and its entries must still apply.
    void marqueurSansRenommageGardeLeFichierEnPlace()
    {
        const IdentiteFichier ancien{100, 1}, enPlace{200, 2}, jamaisRenomme{300, 3};
        const QString journal = cheminJournal();
        QVERIFY(QDir().mkpath(QFileInfo(journal).absolutePath()));
        ecrireFichier(journal, journal::entete(ancien) + journal::cadre("e1") + journal::cadre("e2") + journal::marqueur(enPlace, 1)
                                   + journal::cadre("e3") + journal::marqueur(jamaisRenomme, 3) + journal::cadre("e4"));
        const LectureJournal l = journal::lire(journal);
        QCOMPARE(l.entrees.size(), 4);
        QCOMPARE(journal::entreesPour(l, ancien), (QList<QByteArray>{"e1", "e2", "e3", "e4"}));
        QCOMPARE(journal::entreesPour(l, enPlace), (QList<QByteArray>{"e2", "e3", "e4"}));
        QCOMPARE(journal::entreesPour(l, jamaisRenomme), (QList<QByteArray>{"e4"}));
        QVERIFY(!journal::entreesPour(l, IdentiteFichier{400, 4}));
    }

    void finDeJournalDechireeIgnoree()
    {
        const QByteArray complet = journalSansQuitter({QStringLiteral("premier"), QStringLiteral("second")});
        // The last entry torn in its middle: the entries before it stand.
        ecrireFichier(cheminJournal(), complet.left(complet.size() - 5));
        {
            Store s(chemin(), h);
            QCOMPARE(s.etat().quilloMemoire, (QStringList{QStringLiteral("base"), QStringLiteral("premier")}));
            s.modifier([](Etat& e) { e.quilloMemoire.append(QStringLiteral("après")); });
            s.sauvegarder(true);
        }
        Store relu(chemin(), Store::Acces::lecture, h);
        QCOMPARE(relu.etat().quilloMemoire, (QStringList{QStringLiteral("base"), QStringLiteral("premier"), QStringLiteral("après")}));
    }

    void journalDUnAutreFichierMisDeCote()
    {
        const QString journal = cheminJournal();
        const QByteArray ancien = journalSansQuitter({QStringLiteral("journal")});
        // Another file put in place (a restored copy), with the old journal beside it.
        ecrireFichier(chemin(), R"({"version":2,"quilloMemoire":["restauré"]})");
        ecrireFichier(journal, ancien);
        {
            Store lecteur(chemin(), Store::Acces::lecture, h);
            QCOMPARE(lecteur.etat().quilloMemoire, QStringList{QStringLiteral("restauré")});
            QVERIFY(QFile::exists(journal));   // a reader moves nothing
        }
        Store s(chemin(), h);
        QCOMPARE(s.etat().quilloMemoire, QStringList{QStringLiteral("restauré")});
        QVERIFY(QFileInfo(s.journalEcarte()).fileName().startsWith(QStringLiteral("etat-journal-ecarte-")));
        QCOMPARE(lireFichier(s.journalEcarte()), ancien);   // kept as it was, never deleted
    }

    void journalRestantCompacteAuDemarrage()
    {
        const QString journal = cheminJournal();
        journalSansQuitter({QStringLiteral("journal")});
        Store s(chemin(), h);
        QCOMPARE(s.etat().quilloMemoire, (QStringList{QStringLiteral("base"), QStringLiteral("journal")}));
        // Folded in the background: the file alone soon holds the journal's change.
        QTRY_VERIFY(lireFichier(chemin()).contains("\"journal\""));
        QTRY_COMPARE(QFileInfo(journal).size(), qint64(journal::entete(IdentiteFichier{QFileInfo(chemin()).size(), crc32De(lireFichier(chemin()))}).size()));
    }

    void remplacementEcritToutLeFichier()
    {
        Store s(chemin(), h);
        s.modifier([](Etat& e) { e.quilloMemoire = {QStringLiteral("base")}; });
        s.sauvegarder(true);
        Etat neuf;
        neuf.quilloMemoire = {QStringLiteral("remplacé")};
        s.remplacerEtat(neuf);
        s.sauvegarder(true);
        QCOMPARE(QJsonDocument::fromJson(lireFichier(chemin())).object().value(QStringLiteral("quilloMemoire")).toArray().at(0).toString(),
                 QStringLiteral("remplacé"));
    }

    void fichierVideDonneEtatNeuf()
    {
        QDir().mkpath(QFileInfo(chemin()).absolutePath());
        ecrireFichier(chemin(), QByteArray());
        Store s(chemin(), h);
        QCOMPARE(s.etat(), Etat());
        QVERIFY(s.fichierQuarantaine().isEmpty() && QFile::exists(chemin()) && !s.ecritureBloquee());
    }

    void fichierCorrompuMisEnQuarantaine()
    {
        QDir().mkpath(QFileInfo(chemin()).absolutePath());
        ecrireFichier(chemin(), "{ pas du json");
        h.fixer(QDateTime(QDate(2026, 3, 2), QTime(8, 30, 15), Qt::UTC));
        Store s(chemin(), h);
        QCOMPARE(s.etat(), Etat());
        QVERIFY(!QFile::exists(chemin()));
        const QString attendu = QStringLiteral("etat-illisible-%1.json")
                                    .arg(h.maintenant().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        QCOMPARE(QFileInfo(s.fichierQuarantaine()).fileName(), attendu);
        QCOMPARE(lireFichier(s.fichierQuarantaine()), QByteArray("{ pas du json"));
        QVERIFY(!s.erreurSauvegarde());   // no message for a quarantined file
        s.modifier([](Etat& e) { e.version = 2; });
        s.sauvegarder(true);
        QVERIFY(QJsonDocument::fromJson(lireFichier(chemin())).isObject());
    }

    // The only copy of a file that cannot be read or moved aside is never overwritten.
    void fichierInsauvableGarde_data()
    {
        QTest::addColumn<bool>("dossier");
        QTest::newRow("quarantaine impossible") << false;   // its name taken by a folder holding a file
        QTest::newRow("fichier illisible") << true;          // the working "file" is a folder
    }
    void fichierInsauvableGarde()
    {
        QFETCH(bool, dossier);
        h.fixer(QDateTime(QDate(2026, 3, 2), QTime(8, 30, 15), Qt::UTC));
        const QString garde = dossier ? chemin() + QStringLiteral("/garde") : chemin();
        if (dossier) {
            QDir().mkpath(chemin());
        } else {
            QDir().mkpath(QFileInfo(chemin()).absolutePath());
            const QString nom = QStringLiteral("etat-illisible-%1.json").arg(h.maintenant().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
            QDir().mkpath(QFileInfo(chemin()).absoluteDir().filePath(nom));
            ecrireFichier(QFileInfo(chemin()).absoluteDir().filePath(nom) + QStringLiteral("/x"), "x");
        }
        ecrireFichier(garde, "[1,2]");   // not an object: unreadable as a state
        Store s(chemin(), h);
        QVERIFY(s.ecritureBloquee());
        QVERIFY(s.erreurSauvegarde().value_or(QString()).startsWith(QStringLiteral("Sauvegarde impossible : ")));
        s.modifier([](Etat& e) { e.version = 5; });
        h.avancer(600);
        s.sauvegarder(true);
        QCOMPARE(lireFichier(garde), QByteArray("[1,2]"));
        QCOMPARE(QFileInfo(chemin()).isDir(), dossier);
    }

    // The same failure twice in a row, then the cause goes: said once, nothing lost.
    void echecRepeteGardeLesChangements_data()
    {
        QTest::addColumn<bool>("immediat");
        QTest::newRow("immédiat") << true;
        QTest::newRow("différé") << false;
    }
    void echecRepeteGardeLesChangements()
    {
        QFETCH(bool, immediat);
        const QString cible = cheminBloque();
        Store s(cible, h);
        QSignalSpy spy(&s, &Store::erreurSauvegardeChangee);
        for (const char* mot : {"premier", "second"}) {
            s.modifier([mot](Etat& e) { e.quilloMemoire.append(QString::fromLatin1(mot)); });
            s.sauvegarder(immediat);
            QTRY_VERIFY(s.modifie());   // the next change or quit tries again
        }
        QVERIFY(s.erreurSauvegarde().value_or(QString()).startsWith(QStringLiteral("Sauvegarde impossible : ")));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(s.etat().quilloMemoire, (QStringList{QStringLiteral("premier"), QStringLiteral("second")}));   // nothing lost in memory
        QVERIFY(QFile::remove(QFileInfo(cible).absolutePath()));
        s.sauvegarder(true);   // the quit save
        QVERIFY(!s.erreurSauvegarde());
        QCOMPARE(QJsonDocument::fromJson(lireFichier(cible)).object().value(QStringLiteral("quilloMemoire")).toArray(),
                 (QJsonArray{QStringLiteral("premier"), QStringLiteral("second")}));
    }

    // A refused import leaves the state as it was; "Données importées." only after a successful write.
    void import_data()
    {
        QTest::addColumn<QByteArray>("donnees");
        QTest::addColumn<bool>("bloque");
        QTest::addColumn<bool>("garde");   // a state to keep aside first
        QTest::addColumn<QString>("message");
        const QString pasUneSauvegarde = QStringLiteral("Ce fichier ne ressemble pas à une sauvegarde Vendalo.");
        const QString pasDuJson = QStringLiteral("Ce fichier n'est pas un JSON valide.");
        QTest::newRow("objet vide") << QByteArray("{}") << false << true << pasUneSauvegarde;
        QTest::newRow("sans clé connue") << QByteArray(R"({"version":2,"quilloMemoire":[]})") << false << true << pasUneSauvegarde;
        QTest::newRow("liste") << QByteArray("[]") << false << true << pasDuJson;
        QTest::newRow("déchet") << QByteArray("bonjour") << false << true << pasDuJson;
        QTest::newRow("vide") << QByteArray() << false << true << pasDuJson;
        QTest::newRow("écriture impossible") << QByteArray(R"({"reglages":{}})") << true << false << "Sauvegarde impossible : ";
        QTest::newRow("copie impossible") << QByteArray(R"({"reglages":{}})") << true << true
                                          << "Les données actuelles n'ont pas pu être mises de côté : ";
    }
    void import()
    {
        QFETCH(QByteArray, donnees);
        QFETCH(bool, bloque);
        QFETCH(bool, garde);
        QFETCH(QString, message);
        Store s(bloque ? cheminBloque() : chemin(), h);
        if (garde)
            s.modifier([](Etat& e) { e.quilloMemoire = {QStringLiteral("garde")}; });
        const auto r = s.importerSauvegarde(donnees);
        QVERIFY(!r);
        QVERIFY2(r.erreur().description().startsWith(message), qPrintable(r.erreur().description()));
        if (garde)
            QCOMPARE(s.etat().quilloMemoire, QStringList{QStringLiteral("garde")});   // untouched
    }

    void importReussiEstEcrit()
    {
        Store s(chemin(), h);
        const auto r = s.importerSauvegarde(R"({"contacts":[{"id":"c1","valeur":"1 000"},{"id":"c2","valeur":"2,5"}],"inconnue":1})");
        QVERIFY(r);
        QCOMPARE(s.etat().contacts.size(), 2);
        QVERIFY(s.etat().contacts[0].valeur == 0.0 && s.etat().contacts[1].valeur == 2.5);   // "1 000" is not a number
        // Written at once, without waiting for the debounce.
        QCOMPARE(QJsonDocument::fromJson(lireFichier(chemin())).object().value(QStringLiteral("contacts")).toArray().size(), 2);
        QVERIFY(!s.modifie());
    }

    void importGardeUneCopie()
    {
        Store s(chemin(), h);
        s.modifier([](Etat& e) { e.quilloMemoire = {QStringLiteral("avant")}; });
        s.sauvegarder(true);
        QVERIFY(s.importerSauvegarde(R"({"appels":5})"));   // an empty state, but the old one is kept
        QVERIFY(s.etat().quilloMemoire.isEmpty());
        const QString copie = s.copieRemplacee();
        QVERIFY(QFileInfo(copie).fileName().startsWith(QStringLiteral("etat-remplace-")));
        QCOMPARE(QFileInfo(copie).absolutePath(), QFileInfo(chemin()).absolutePath());
        QVERIFY(lireFichier(copie).contains("avant"));
        QCOMPARE(Store::phraseCopie(copie), QStringLiteral(" Les données remplacées sont gardées dans « ") + copie + QStringLiteral(" »."));
        // A failed import replaces nothing and keeps no copy.
        QVERIFY(!s.importerSauvegarde("[]"));
        QCOMPARE(QDir(QFileInfo(chemin()).absolutePath()).entryList({QStringLiteral("etat-remplace-*")}).size(), 1);
    }

    void troisCopiesGardees()
    {
        Store s(chemin(), h);
        QStringList copies;
        for (int i = 1; i <= 5; ++i) {
            s.modifier([i](Etat& e) { e.quilloMemoire = {QStringLiteral("version %1").arg(i)}; });
            auto c = s.garderEtatRemplace();
            QVERIFY(c);
            copies << c.valeur();
            h.avancer(1000);
        }
        const QStringList restes = QDir(QFileInfo(chemin()).absolutePath()).entryList({QStringLiteral("etat-remplace-*")}, QDir::Files, QDir::Name);
        QCOMPARE(restes.size(), 3);
        QVERIFY(!QFile::exists(copies[0]) && !QFile::exists(copies[1]));
        QVERIFY(lireFichier(copies[4]).contains("version 5") && lireFichier(copies[2]).contains("version 3"));
    }

    void rienAGarder()
    {
        Store s(chemin(), h);
        auto c = s.garderEtatRemplace();   // a fresh state: nothing to keep
        QVERIFY(c && c.valeur().isEmpty());
        QCOMPARE(Store::phraseCopie(QString()), QString());
        Store memoire;
        memoire.modifier([](Etat& e) { e.version = 3; });
        QVERIFY(memoire.garderEtatRemplace().valeurOu(QStringLiteral("x")).isEmpty());
    }

    void exportTrieEtIndente()
    {
        h.fixer(QDateTime(QDate(2026, 12, 6), QTime(10, 0), Qt::UTC));
        Store s(chemin(), h);
        s.modifier([](Etat& e) { e.entreprise.site = QStringLiteral("https://exemple.fr/offre"); });
        const QByteArray b = s.exporterSauvegarde();
        QVERIFY(b.contains("\n    \""));
        QVERIFY(b.contains("https://exemple.fr/offre"));   // slashes not escaped
        QVERIFY(b.indexOf("\"appels\"") < b.indexOf("\"briefsAgenda\"") && b.indexOf("\"briefsAgenda\"") < b.indexOf("\"contacts\""));
        QCOMPARE(Store::nomSauvegardeProposee(h.maintenant()), QStringLiteral("vendalo-sauvegarde-2026-12-06.json"));
        const QString cible = dir_.path() + QStringLiteral("/export.json");
        QVERIFY(s.exporterVers(cible));
        QCOMPARE(lireFichier(cible), b);
        QCOMPARE(s.exporterVers(dir_.path() + QStringLiteral("/export.json/impossible.json")).erreur(), QStringLiteral("L'export a échoué. Réessayez."));
    }

    void retention()
    {
        h.fixer(QDateTime(QDate(2026, 6, 15), QTime(12, 0), Qt::UTC));
        Store s(chemin(), h);
        QStringList retiresSignales;
        s.setRappelAppelsRetires([&](const QStringList& ids) { retiresSignales += ids; });
        s.modifier([](Etat& e) {
            e.appels = {appel(QStringLiteral("vieux"), QStringLiteral("2025-01-10T10:00:00.000Z")),
                        appel(QStringLiteral("vieuxEnCours"), QStringLiteral("2025-01-10T10:00:00Z"), QStringLiteral("en_cours")),
                        appel(QStringLiteral("recent"), QStringLiteral("2026-06-01T10:00:00.000Z")),
                        appel(QStringLiteral("sansDate"), QString()),
                        appel(QStringLiteral("dateCreation"), QString())};
            e.appels[4].creeLe = QStringLiteral("2025-02-01T00:00:00Z");
            e.appels[3].debut = QStringLiteral("n'importe quoi");
        });
        QCOMPARE(QList<int>({s.purgerAnciensAppels(0), s.purgerAnciensAppels(std::nullopt), s.purgerAnciensAppels(6)}), QList<int>({0, 0, 2}));
        QStringList restants;
        for (const Appel& a : s.etat().appels)
            restants << a.id;
        QCOMPARE(restants, QStringList({QStringLiteral("vieuxEnCours"), QStringLiteral("recent"), QStringLiteral("sansDate")}));
        QCOMPARE(retiresSignales, QStringList({QStringLiteral("vieux"), QStringLiteral("dateCreation")}));
        QVERIFY(!s.modifie());   // saved at once
        QCOMPARE(Store::phraseRetention(1), QStringLiteral("1 appel plus ancien que la durée de conservation retiré."));
        QCOMPARE(Store::phraseRetention(3), QStringLiteral("3 appels plus anciens que la durée de conservation retirés."));
    }

    void questionsEtape()
    {
        Store s({}, h);
        s.modifier([](Etat& e) {
            e.frameworks = {JSONValeur(QJsonDocument::fromJson(R"({"id": "f", "etapes": [
                {"id": "e1", "nom": "Découverte", "questions": ["Qu’est-ce qui   vous freine ?"]},
                {"id": "e2", "nom": "Closing", "questions": ["Q1 ?", "Q2 ?", "Q3 ?", "Q4 ?", "Q5 ?", "Q6 ?", "Q7 ?"]}]})").object())};
        });
        // In order: step, question, refusal ("-": added).
        const char* const cas[][3] = {{"e1", "  \n", "La question est vide."},
                                      {"e2", "QU'EST-CE QUI VOUS FREINE ?", "Cette question est déjà dans l'étape « Découverte »."},
                                      {"e9", "Nouvelle ?", "Cette étape n'existe plus dans le Framework."},
                                      {"e2", "Huitième ?", "-"},
                                      {"e2", "Neuvième ?", "L'étape « Closing » a déjà 8 questions : retirez-en une d'abord."},
                                      {"e1", "  Et le budget ?  ", "-"}};
        for (const auto& [etape, question, refus] : cas)
            QCOMPARE(s.ajouterQuestionEtape(QStringLiteral("f"), QString::fromUtf8(etape), QString::fromUtf8(question)).value_or(QStringLiteral("-")),
                     QString::fromUtf8(refus));
        const QJsonArray q = s.etat().frameworks[0].qt().toObject().value(QStringLiteral("etapes")).toArray()[0].toObject().value(QStringLiteral("questions")).toArray();
        QCOMPARE(q.last().toString(), QStringLiteral("Et le budget ?"));
    }

    void chargementRelitCeQuiEstEcrit()
    {
        {
            Store s(chemin(), h);
            s.modifier([](Etat& e) {
                Appel a = appel(QStringLiteral("a1"), QStringLiteral("2026-01-01T10:00:00.000Z"));
                a.transcript.append(Segment{QStringLiteral("s1"), QStringLiteral("vous"), QStringLiteral("Bonjour"), 0, 800, std::nullopt});
                e.appels.append(a);
            });
        }   // destroyed with a pending debounce: nothing written yet
        QVERIFY(!QFile::exists(chemin()));
        {
            Store s(chemin(), h);
            s.modifier([](Etat& e) { e.appels.append(appel(QStringLiteral("a2"), QString())); });
            s.sauvegarder(false);
        }   // the queued write still lands before the writer stops
        Store relu(chemin(), h);
        QCOMPARE(relu.etat().appels.size(), 1);
        QCOMPARE(relu.etat().appels[0].id, QStringLiteral("a2"));
    }
};

QTEST_GUILESS_MAIN(TstStore)
#include "tst_store.moc"
