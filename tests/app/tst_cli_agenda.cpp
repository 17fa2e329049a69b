// "vendalo agenda" and "vendalo agenda brief EVENEMENT_ID" run as the user
// would, signed in to the backend emulator serving a calendar file, on the
// moment VD_MAINTENANT gives: the next seven days only, matched contacts,
// the brief kept with its meeting, French errors.
// vd-test: timeout=180
#include "environnementvendalo.h"
#include "fakes/fauxagenda.h"
#include "fakes/fauxmessages.h"
#include "fakes/fauxsupabase.h"

class TstCliAgenda : public QObject {
    Q_OBJECT

    QTemporaryDir dossier;
    vd::fakes::FauxSupabase serveur;
    std::unique_ptr<vd::fakes::FauxAgenda> faux;
    QString contactId, contactEmail;
    const QDateTime maintenant{QDate(2026, 3, 2), QTime(9, 0), Qt::UTC};

    // The emulator answers from this process: the event loop turns while vendalo runs.
    SortieVendalo lancer(const QStringList& args, const QByteArray& entree = {}, const QString& instant = QStringLiteral("2026-03-02T09:00:00Z"))
    {
        QProcessEnvironment env = environnementVendalo(dossier);
        env.insert(QStringLiteral("HOME"), dossier.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + dossier.filePath(QStringLiteral("pas-de-bus")));
        env.insert(QStringLiteral("VD_URL_SUPABASE"), serveur.url().toString() + QStringLiteral("/"));
        env.insert(QStringLiteral("VD_CLE_PUBLIQUE_SUPABASE"), serveur.cleAnon());
        if (!instant.isEmpty())
            env.insert(QStringLiteral("VD_MAINTENANT"), instant);
        return lancerVendalo(env, args, entree, 90'000);
    }

    static QJsonObject rdv(const QString& id, const QDateTime& debut, const QString& invite)
    {
        return QJsonObject{{"id", id}, {"titre", "Point " + id}, {"debut", debut.toString(Qt::ISODate)},
                           {"fin", debut.addSecs(1800).toString(Qt::ISODate)}, {"fournisseur", "google"},
                           {"invites", QJsonArray{QJsonObject{{"email", invite}, {"reponse", "accepte"}},
                                                  QJsonObject{{"email", "lea@exemple.fr"}, {"moi", true}}}}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dossier.isValid());
        QVERIFY(serveur.demarrer());
        serveur.ajouterUtilisateur(QStringLiteral("lea@exemple.fr"), QStringLiteral("motdepasse1"));
        faux = std::make_unique<vd::fakes::FauxAgenda>(serveur, dossier.filePath(QStringLiteral("calendrier.json")));
        // The demonstration's contacts in the data folder.
        QProcessEnvironment env = environnementVendalo(dossier);
        env.insert(QStringLiteral("HOME"), dossier.path());
        const QByteArray demo = importerDemo(env);
        for (const QJsonValue& v : QJsonDocument::fromJson(demo).object().value("contacts").toArray())
            if (contactId.isEmpty() && !v.toObject().value("email").toString().isEmpty()) {
                contactId = v.toObject().value("id").toString();
                contactEmail = v.toObject().value("email").toString();
            }
        QVERIFY(!contactId.isEmpty());
        QCOMPARE(lancer({QStringLiteral("cloud"), QStringLiteral("connecter"), QStringLiteral("lea@exemple.fr")}, "motdepasse1\n").code, 0);
        // Signed in, the brief goes through the account's language model, which the emulator plays.
        serveur.surFonction(QStringLiteral("claude"), [](const vd::fakes::RequeteHttp&) {
            // Apostrophes written \u0027: a raw string holding one breaks the moc.
            const QString brief = QString::fromUtf8(R"({"pointsCles": ["Le dossier passe en comité."], "objectionsProbables":
                [{"objection": "C\u0027est trop cher.", "parade": "Par rapport à quoi ?"}], "questions": ["Qui signe ?"],
                "objectifMesurable": "Obtenir une date de signature.", "ouverture": "Bonjour, on reprend ?"})");
            return vd::fakes::ReponseHttpFactice::flux(
                {vd::fakes::debutMessage() + vd::fakes::deltaTexte(brief) + vd::fakes::finMessage() + vd::fakes::arretMessage()}, 10);
        });
        faux->ecrire(QJsonObject{
            {"connexions", QJsonArray{QJsonObject{{"fournisseur", "google"}, {"email", "lea@exemple.fr"}}}},
            {"evenements", QJsonArray{rdv("proche", maintenant.addSecs(600), contactEmail.toUpper() + " "),
                                      rdv("inconnu", maintenant.addSecs(3600), "quelquun@ailleurs.test"),
                                      rdv("fini", maintenant.addSecs(-7200), contactEmail),
                                      rdv("loin", maintenant.addDays(8), contactEmail)}}});
    }

    void septJoursAPartirDeMaintenant()
    {
        const SortieVendalo s = lancer({QStringLiteral("agenda")});
        QCOMPARE(s.code, 0);
        const QJsonArray e = s.json().object().value("evenements").toArray();
        QStringList ids;
        for (const QJsonValue& v : e)
            ids << v.toObject().value("id").toString();
        QCOMPARE(ids, (QStringList{"proche", "inconnu"}));
        const QJsonObject proche = e.at(0).toObject();
        QCOMPARE(proche.value("contactId").toString(), contactId);
        QCOMPARE(proche.value("reconnaissance").toString(), QStringLiteral("adresse"));
        QCOMPARE(proche.value("jour").toString(), QStringLiteral("Aujourd'hui"));
        QCOMPARE(s.json().object().value("prochain").toString(), QStringLiteral("Prochain : Point proche à 10:10"));
        // A day later the day's meetings are behind and the one a week ahead has come in.
        const SortieVendalo demain = lancer({QStringLiteral("agenda")}, {}, QStringLiteral("2026-03-03T09:00:00Z"));
        QCOMPARE(demain.code, 0);
        const QJsonArray d = demain.json().object().value("evenements").toArray();
        QCOMPARE(d.size(), 1);
        QCOMPARE(d.at(0).toObject().value("id").toString(), QStringLiteral("loin"));
    }

    void horlogeIllisible()
    {
        const SortieVendalo s = lancer({QStringLiteral("agenda")}, {}, QStringLiteral("lundi"));
        QCOMPARE(s.code, 2);
        QCOMPARE(s.derniereErreur(),
                 QStringLiteral("VD_MAINTENANT illisible : « lundi ». Écrivez un instant ISO 8601, par exemple 2026-03-02T09:00:00Z."));
    }

    void briefDUnRendezVous_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("erreur");
        QTest::newRow("contact reconnu") << "proche" << 0 << QString();
        QTest::newRow("sans contact") << "inconnu" << 1
                                      << "Aucun contact du CRM n'est reconnu parmi les invités : le brief porte sur un prospect connu.";
        QTest::newRow("absent") << "rdv-x" << 1 << "Ce rendez-vous n'est pas dans votre agenda des 7 prochains jours : « rdv-x ».";
    }
    void briefDUnRendezVous()
    {
        QFETCH(QString, id);
        QFETCH(int, code);
        QFETCH(QString, erreur);
        const SortieVendalo s = lancer({QStringLiteral("agenda"), QStringLiteral("brief"), id});
        QVERIFY2(s.code == code, qPrintable(s.erreurs));
        if (code != 0) {
            QCOMPARE(s.derniereErreur(), erreur);
            return;
        }
        const QJsonObject b = s.json().object();
        QCOMPARE(b.value("evenementId").toString(), id);
        QCOMPARE(b.value("contactId").toString(), contactId);
        QCOMPARE(b.value("debut").toString(), maintenant.addSecs(600).toString(Qt::ISODateWithMs));
        QVERIFY(!b.value("brief").toObject().isEmpty());
        // Kept with the meeting in the data folder.
        const SortieVendalo sauvegarde = lancer({QStringLiteral("sauvegarde"), QStringLiteral("exporter"), QStringLiteral("-")});
        QVERIFY(sauvegarde.texte().contains(QStringLiteral("brief-google-proche")));
    }

    void usage()
    {
        const SortieVendalo s = lancer({QStringLiteral("agenda"), QStringLiteral("brief")});
        QCOMPARE(s.code, 2);
        QCOMPARE(s.derniereErreur(), QStringLiteral("Usage : vendalo agenda [--demo] | agenda brief EVENEMENT_ID [--demo]"));
    }
};

QTEST_GUILESS_MAIN(TstCliAgenda)
#include "tst_cli_agenda.moc"
