// The rules of the shipped moteur.js, through the real host: questions,
// objections, qualification, talk metrics, deadlines, tone of address, phases.
#include "model/appel.h"
#include "moteur_commun.h"

using namespace vd::ai;
using namespace vd::tests;

class TstMoteurRegles : public QObject, AvecMoteur {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(qEnvironmentVariable("TZ"), QStringLiteral("Europe/Paris"));
        QVERIFY(!m.charger());
    }

    void compterQuestions_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<int>("n");
        QTest::newRow("deux, dont une sans ?") << "Vous utilisez quoi aujourd'hui ? Et combien ça vous coûte" << 2;
        QTest::newRow("est-ce que") << "Est-ce que vous avez un budget pour ça" << 1;
        QTest::newRow("est-ce qu'") << "Est-ce qu'il y a quelqu'un d'autre dans la boucle" << 1;
        QTest::newRow("inversion") << "Avez-vous déjà regardé d'autres solutions" << 1;
        QTest::newRow("inversion avec t") << "Y a-t-il une date butoir" << 1;
        QTest::newRow("combien") << "Combien de techniciens avez-vous" << 1;
        QTest::newRow("quel") << "Quelle est votre priorité cette année" << 1;
        QTest::newRow("question en fin de phrase") << "Et quand une urgence arrive, ça se passe comment" << 1;
        QTest::newRow("qu'est-ce que") << "Qu'est-ce qui vous a fait prendre ce rendez-vous" << 1;
        QTest::newRow("indirecte") << "Je voulais savoir qui gère les plannings chez vous." << 1;
        QTest::newRow("invitation à raconter") << "Racontez-moi comment se passe une journée type." << 1;
        QTest::newRow("une phrase, un ?") << "Comment et quand comptez-vous démarrer ?" << 1;
        QTest::newRow("deux phrases avec ?") << "Quel budget ? Et pour quand ?" << 2;
        QTest::newRow("affirmation") << "Je vous envoie le rendez-vous dans la journée." << 0;
        QTest::newRow("impératif") << "Dites-nous ce qui compte le plus." << 0;
        QTest::newRow("pourquoi pas") << "Pourquoi pas, on peut essayer." << 0;
        QTest::newRow("pas de quoi") << "Il n'y a pas de quoi." << 0;
        QTest::newRow("relance polie") << "D'accord, merci beaucoup." << 0;
        QTest::newRow("majuscules et accents") << "EST-CE QUE ÇA VOUS CONVIENT" << 1;
        QTest::newRow("apostrophe typographique") << "Qu’est-ce qui coince le plus" << 1;
        QTest::newRow("sans ponctuation") << "vous utilisez quoi aujourd'hui et combien ça vous coûte" << 2;
        QTest::newRow("quoi en place du complément") << "Vous faites quoi le lundi matin" << 1;
        QTest::newRow("je ne sais pas quoi") << "Je ne sais pas quoi vous dire." << 0;
        QTest::newRow("quoi de tic de langage") << "C'est bien, enfin bref quoi." << 0;
        QTest::newRow("vide") << "" << 0;
    }
    void compterQuestions()
    {
        QFETCH(QString, texte);
        QFETCH(int, n);
        auto r = m.appelerNombre(QStringLiteral("compterQuestions"), {texte});
        QVERIFY2(r, r ? "" : qPrintable(r.erreur().description()));
        QCOMPARE(int(r.valeur()), n);
    }

    void compterQuestionsDuCommercialSeulement()
    {
        const QJsonArray t{seg("vous", "Comment ça se passe aujourd'hui ?", 0, 2000), seg("prospect", "Et vous, vous faites comment ?", 2500, 4000),
                           seg("vous", "Est-ce que vous avez un budget", 4500, 6000)};
        QCOMPARE(m.appelerNombre(QStringLiteral("compterQuestions"), {t}).valeur(), 2.0);
        QCOMPARE(m.appelerNombre(QStringLiteral("compterQuestions"), {QJsonObject{{QStringLiteral("transcript"), t}}}).valeur(), 2.0);
    }

    void detecterObjection_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("categorie");   // empty: none
        QTest::newRow("trop cher") << "Franchement, c'est trop cher pour nous." << "prix";
        QTest::newRow("un peu cher, accents") << "C'est UN PEU CHER quand même" << "prix";
        QTest::newRow("budget") << "On n'a pas le budget cette année." << "prix";
        QTest::newRow("pas trop cher : négation") << "Ce n'est pas trop cher, ça va." << "";
        QTest::newRow("cherche : pas un mot entier") << "Je cherche une solution simple." << "";
        QTest::newRow("documentation") << "Envoyez-moi une documentation, je regarderai." << "documentation";
        QTest::newRow("pas le temps") << "Je n'ai pas le temps, là." << "temps";
        QTest::newRow("pas le moment") << "Ce n'est pas le bon moment pour nous." << "timing";
        QTest::newRow("rappelez-moi") << "Rappelez-moi dans six mois." << "timing";
        QTest::newRow("déjà équipé") << "On a déjà un outil pour ça." << "concurrence";
        QTest::newRow("pas besoin") << "Honnêtement, on n'en a pas besoin." << "besoin";
        QTest::newRow("décideur") << "Ce n'est pas moi qui décide, il faut voir avec mon directeur." << "decideur";
        QTest::newRow("comité") << "Il faut que je repasse par le comité." << "decideur";
        QTest::newRow("doute") << "L'autre outil, c'était une usine à gaz." << "confiance";
        QTest::newRow("réflexion") << "Je vais réfléchir et je reviens vers vous." << "reflexion";
        QTest::newRow("pas intéressé") << "Non merci, on n'est pas intéressés." << "besoin";
        QTest::newRow("neutre") << "On a quarante techniciens sur trois agences." << "";
    }
    void detecterObjection()
    {
        QFETCH(QString, texte);
        QFETCH(QString, categorie);
        const QJsonValue v = json(QStringLiteral("detecterObjection"), {texte});
        if (categorie.isEmpty()) {
            QVERIFY(v.isNull());
        } else {
            QCOMPARE(champs(v, {"categorie", "extrait"}), categorie + " | " + texte);
            QVERIFY(!v.toObject().value(QStringLiteral("libelle")).toString().isEmpty());
        }
    }

    void objectionDansUneFenetre()
    {
        // The last prospect objection of the window, with its time; salesperson speech is ignored.
        const QJsonArray t{seg("prospect", QStringLiteral("C'est trop cher."), 1000, 2000),
                           seg("vous", QStringLiteral("Envoyez-moi une documentation, disent-ils souvent."), 2500, 5000),
                           seg("prospect", QStringLiteral("Et je n'ai pas le temps."), 6000, 8000)};
        QCOMPARE(champs(json("detecterObjection", {t}), {"categorie", "tMs"}), QStringLiteral("temps | 6000"));
    }

    void objectionsDeLAppelSansDoublon()
    {
        const QJsonArray t{seg("prospect", QStringLiteral("C'est un peu cher pour nous."), 10000, 13000),
                           seg("vous", QStringLiteral("Par rapport à quoi ?"), 14000, 15000),
                           seg("prospect", QStringLiteral("Envoyez-moi une documentation."), 40000, 42000)};
        const QJsonObject appel{{QStringLiteral("transcript"), t},
                                {QStringLiteral("detections"), QJsonArray{QJsonObject{{QStringLiteral("tMs"), 10000}, {QStringLiteral("categorie"), QStringLiteral("prix")},
                                                                                     {QStringLiteral("extrait"), QStringLiteral("un peu cher")}}}},
                                {QStringLiteral("aides"), QJsonArray{QJsonObject{{QStringLiteral("tache"), QStringLiteral("objection")}, {QStringLiteral("tMs"), 13500},
                                                                                 {QStringLiteral("resultat"), QStringLiteral("ok")}}}}};
        QCOMPARE(champs(json("detecterObjection", {appel}), {"length", "*.categorie", "*.signalee", "0.aideDemandee"}),
                 QStringLiteral("2 | [\"prix\",\"documentation\"] | [true,false] | true"));
    }

    void detecterQualification_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("grille");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("valeurBudget");
        QTest::newRow("budget chiffré") << "On a une enveloppe d'environ 15 000 euros par an." << "essentiel" << "budget" << "15 000 euros";
        QTest::newRow("décideur") << "C'est notre directrice générale qui signe." << "essentiel" << "decideur" << "";
        QTest::newRow("échéance") << "On veut démarrer d'ici septembre." << "essentiel" << "echeance" << "";
        QTest::newRow("douleur") << "On perd un temps fou à refaire les plannings." << "essentiel" << "douleur" << "";
        QTest::newRow("rien") << "Il fait beau aujourd'hui." << "essentiel" << "" << "";
        QTest::newRow("BANT") << "Le budget est de 20 k€ et il faut que ce soit réglé avant l'été." << "bant" << "budget,echeance" << "20 k€";
        QTest::newRow("MEDDIC") << "On veut gagner 10 heures par semaine, et on compare trois solutions." << "meddic" << "metriques,criteres" << "";
        QTest::newRow("SONCAS") << "Ce qui compte, c'est que ce soit simple et fiable." << "soncas" << "securite,confort" << "";
    }
    void detecterQualification()
    {
        QFETCH(QString, texte);
        QFETCH(QString, grille);
        QFETCH(QString, items);
        QFETCH(QString, valeurBudget);
        const QJsonArray l = json(QStringLiteral("detecterQualification"), {texte, grille}).toArray();
        QStringList ids;
        for (const QJsonValue& v : l) {
            ids << v.toObject().value(QStringLiteral("item")).toString();
            QCOMPARE(v.toObject().value(QStringLiteral("preuve")).toString(), texte);
            if (v.toObject().value(QStringLiteral("item")).toString() == QLatin1String("budget"))
                QCOMPARE(v.toObject().value(QStringLiteral("valeur")).toString(), valeurBudget);
        }
        QCOMPARE(ids.join(QLatin1Char(',')), items);
    }

    void qualificationSurLaParoleDuProspect()
    {
        const QJsonArray t{seg("vous", QStringLiteral("Quel budget avez-vous prévu ?"), 0, 2000),
                           seg("prospect", QStringLiteral("On n'en a pas encore parlé."), 2500, 4000)};
        QCOMPARE(json(QStringLiteral("detecterQualification"), {QJsonObject{{QStringLiteral("transcript"), t}}}).toArray().size(), 0);
    }

    void metriquesSurUnTranscriptConnu()
    {
        // 0–10 s: 25 words by the salesperson with one question; the prospect answers 10–30 s;
        // the salesperson cuts in at 29 s and talks until 50 s with a short "oui" at 40 s.
        const QJsonArray t{
            seg("vous", QStringLiteral("un deux trois quatre cinq six sept huit neuf dix onze douze treize quatorze quinze seize dix-sept dix-huit dix-neuf vingt vingt-et-un vingt-deux vingt-trois est-ce clair ?"), 0, 10000),
            seg("prospect", QStringLiteral("Oui, très clair, et voilà comment nous travaillons aujourd'hui avec nos équipes sur le terrain."), 10000, 30000),
            seg("vous", QStringLiteral("Alors justement, je vous explique notre méthode."), 29000, 40000),
            seg("prospect", QStringLiteral("Oui."), 40000, 40500),
            seg("vous", QStringLiteral("Et ensuite le planning se recale tout seul."), 40600, 50000),
        };
        const QJsonObject appel{{QStringLiteral("transcript"), t}, {QStringLiteral("duree"), 52}};
        auto met = vd::model::Metriques::depuisJson(json(QStringLiteral("metriques"), {appel}));
        QVERIFY(met);
        QCOMPARE(met->dureeSec, 52.0);
        // Talk: salesperson 10 + 11 + 9.4 = 30.4 s, prospect 20.5 s.
        QCOMPARE(met->partVous, 60);
        QCOMPARE(met->partProspect, 40);
        QCOMPARE(met->questionsVous, 1);
        // 29 s to 50 s: the "oui" does not break the run.
        QCOMPARE(met->plusLongMonologueSec, 21);
        QCOMPARE(met->interruptions, 1);
        QCOMPARE(met->nbEchanges, 5);
        // 25 + 7 + 8 = 40 words (a hyphenated word counts once) over 30.4 s.
        QCOMPARE(met->motsParMinute, qint64(qRound(40 / (30.4 / 60.0))));
        // Without a stored duration, the end of the last segment.
        auto sansDuree = vd::model::Metriques::depuisJson(json(QStringLiteral("metriques"), {t}));
        QCOMPARE(sansDuree->dureeSec, 50.0);
        auto vide = m.appelerEn<vd::model::Metriques>(QStringLiteral("metriques"), {QJsonArray()});
        QVERIFY(vide);
        QCOMPARE(vide.valeur(), vd::model::Metriques{});
        // A result of the wrong shape is a decoding failure, not a record of zeros.
        auto forme = m.appelerEn<vd::model::Metriques>(QStringLiteral("metriques"), {QStringLiteral("[]")});
        QVERIFY(forme);
        auto mauvaise = m.appelerEn<vd::model::Metriques>(QStringLiteral("detecterQualification"), {QStringLiteral("rien")});
        QVERIFY(!mauvaise);
        QCOMPARE(mauvaise.erreur().genre, ErreurMoteur::Genre::decodage);
        QCOMPARE(mauvaise.erreur().description(), QStringLiteral("Réponse du moteur illisible. La réponse de Moteur.detecterQualification n'a pas la forme attendue."));
    }

    void derniereProspect()
    {
        const QJsonArray t{seg("prospect", QStringLiteral("Bonjour."), 0, 1000), seg("vous", QStringLiteral("Bonjour !"), 1500, 2000),
                           seg("prospect", QStringLiteral("C'est un peu cher"), 3000, 5000), seg("prospect", QStringLiteral("pour nous."), 5400, 6000)};
        QCOMPARE(m.appelerTexte(QStringLiteral("derniereProspect"), {t}).valeur(), QStringLiteral("C'est un peu cher pour nous."));
        QCOMPARE(m.appelerTexte(QStringLiteral("derniereProspect"), {QJsonArray{seg("vous", QStringLiteral("Allô ?"), 0, 1000)}}).valeur(), QString());
    }

    void resoudreEcheance_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("date");   // empty: none
        const QString lundi = QStringLiteral("2026-12-07");           // a Monday
        const QString jeudi = QStringLiteral("2026-12-03T17:30:00"); // a Thursday, local time
        QTest::newRow("jeudi avec l'heure") << "Rappeler jeudi 11 h" << lundi << "2026-12-10";
        QTest::newRow("jeudi, un jeudi") << "Rappeler jeudi" << jeudi << "2026-12-10";
        QTest::newRow("ce jeudi, un jeudi") << "On fait ça ce jeudi" << jeudi << "2026-12-03";
        QTest::newRow("demain") << "Envoyer la proposition demain" << lundi << "2026-12-08";
        QTest::newRow("après-demain") << "après-demain" << lundi << "2026-12-09";
        QTest::newRow("semaine prochaine") << "On se rappelle la semaine prochaine" << jeudi << "2026-12-07";
        QTest::newRow("mardi de la semaine prochaine") << "mardi semaine prochaine" << jeudi << "2026-12-08";
        QTest::newRow("le 12") << "Démo le 12" << lundi << "2026-12-12";
        QTest::newRow("le 2, passé") << "le 2" << lundi << "2027-01-02";
        QTest::newRow("le 31 d'un mois de 30 jours") << "le 31" << QStringLiteral("2026-11-10") << "2026-12-31";
        QTest::newRow("fin du mois") << "Décision fin du mois" << lundi << "2026-12-31";
        QTest::newRow("fin février") << "Signature fin février" << lundi << "2027-02-28";
        QTest::newRow("dans 3 jours") << "dans 3 jours" << lundi << "2026-12-10";
        QTest::newRow("dans huit jours") << "dans huit jours" << lundi << "2026-12-14";
        QTest::newRow("dans deux semaines") << "dans deux semaines" << lundi << "2026-12-21";
        QTest::newRow("jeudi en huit") << "On se revoit jeudi en huit" << lundi << "2026-12-17";
        QTest::newRow("dans une quinzaine") << "Je reviens vers vous dans une quinzaine" << lundi << "2026-12-21";
        QTest::newRow("date chiffrée") << "Rappel le 12/01" << lundi << "2027-01-12";
        QTest::newRow("date en toutes lettres") << "15 janvier" << lundi << "2027-01-15";
        QTest::newRow("date ISO") << "2027-02-03" << lundi << "2027-02-03";
        QTest::newRow("mois prochain") << "On démarre le mois prochain" << lundi << "2027-01-01";
        QTest::newRow("fin de semaine") << "Réponse en fin de semaine" << lundi << "2026-12-11";
        QTest::newRow("horodatage UTC de référence") << "demain" << QStringLiteral("2026-12-07T23:30:00.000Z") << "2026-12-09";
        QTest::newRow("à définir") << "Date à définir" << lundi << "";
        QTest::newRow("plus tard") << "On verra plus tard" << lundi << "";
        QTest::newRow("sans jour") << "Envoyer la proposition" << lundi << "";
        QTest::newRow("une durée n'est pas un jour") << "Il y a 12 techniciens" << lundi << "";
        QTest::newRow("mois seul") << "En janvier, peut-être" << lundi << "";
        QTest::newRow("vide") << "" << lundi << "";
    }
    void resoudreEcheance()
    {
        QFETCH(QString, texte);
        QFETCH(QString, reference);
        QFETCH(QString, date);
        auto r = m.appeler(QStringLiteral("resoudreEcheance"), {texte, reference});
        QVERIFY(r);
        if (date.isEmpty())
            QCOMPARE(r.valeur().type, ValeurJS::Type::null);
        else
            QCOMPARE(r.valeur().texte, date);
    }

    void detecterRegistre_data()
    {
        QTest::addColumn<QString>("vous");
        QTest::addColumn<QString>("prospect");
        QTest::addColumn<QString>("registre");
        QTest::addColumn<bool>("sansObjet");
        QTest::newRow("vouvoiement") << "Vous avez un moment ? Votre équipe est là ?" << "Oui, je vous écoute." << "vous" << false;
        QTest::newRow("tutoiement") << "Tu as cinq minutes ? Ton équipe t'a parlé de nous ?" << "Oui, vas-y, je t'écoute." << "tu" << false;
        QTest::newRow("le prospect tutoie") << "On en parle maintenant ?" << "Tu sais, toi et moi on se connaît, ton offre m'intéresse." << "tu" << false;
        QTest::newRow("un tu isolé") << "Vous voyez ? Votre planning, vos équipes, vous gagnez du temps, votre agence aussi." << "Comme on dit, tu vois." << "vous" << false;
        QTest::newRow("aucune forme") << "Bonjour, merci." << "Bonjour." << "vous" << true;
    }
    void detecterRegistre()
    {
        QFETCH(QString, vous);
        QFETCH(QString, prospect);
        QFETCH(QString, registre);
        QFETCH(bool, sansObjet);
        const QJsonArray t{seg("vous", vous, 0, 3000), seg("prospect", prospect, 3500, 6000)};
        const QJsonObject d = json("detecterRegistre", {t}).toObject();
        QCOMPARE(d.value("registre").toString(), registre);
        QCOMPARE(d.value("sansObjet").toBool(), sansObjet);
        QVERIFY(d.value(QStringLiteral("confiance")).toDouble() >= 0 && d.value(QStringLiteral("confiance")).toDouble() <= 1);
        if (registre == QLatin1String("tu"))
            QVERIFY(d.contains(QStringLiteral("depuisMs")));
    }

    void fusionEtChoixDuRegistre()
    {
        const QJsonObject tu{{"registre", "tu"}, {"confiance", 0.7}, {"raison", "x"}};
        const QJsonObject vousFaible{{"registre", "vous"}, {"confiance", 0.6}};
        const QJsonObject options{{"appelId", "a1"}, {"le", "2026-12-07T10:00:00.000Z"}};
        // Nothing known: the detection is taken. Back to "vous" needs a strong sign.
        QJsonValue r = json("fusionnerRegistre", {QJsonValue::Null, tu, options});
        QCOMPARE(champs(r, {"valeur", "appelId"}), QStringLiteral("tu | a1"));
        QCOMPARE(champs(json("fusionnerRegistre", {r, vousFaible, options}), {"valeur"}), QStringLiteral("tu"));
        // A choice made by the user is never replaced.
        const QJsonObject force{{"valeur", "vous"}, {"force", "vous"}};
        QCOMPARE(json("fusionnerRegistre", {force, tu, options}).toObject(), force);
        // A call without any form of address changes nothing.
        QVERIFY(json("fusionnerRegistre", {QJsonValue::Null, QJsonObject{{"registre", "vous"}, {"sansObjet", true}}, options}).isNull());

        QCOMPARE(champs(json("choisirRegistre", {QJsonValue::Null, QJsonValue::Null, QString()}), {"valeur", "source", "libelle", "detail"}),
                 QStringLiteral("vous | defaut | Vouvoiement | Par défaut, tant qu'aucun tutoiement n'est repéré."));
        QCOMPARE(champs(json("choisirRegistre", {force, tu, QString()}), {"source"}), QStringLiteral("contact"));
        QCOMPARE(champs(json("choisirRegistre", {force, tu, "tu"}), {"valeur", "choix"}), QStringLiteral("tu | tu"));
        QCOMPARE(champs(json("choisirRegistre", {QJsonValue::Null, tu, QString()}), {"source", "libelle"}), QStringLiteral("detection | Tutoiement"));
        QCOMPARE(m.appelerTexte(QStringLiteral("libelleRegistre"), {QStringLiteral("tu")}).valeur(), QStringLiteral("Tutoiement"));
    }

    void phaseDeduite_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("etape");
        QTest::addColumn<QString>("derniere");   // last prospect words
        QTest::addColumn<QString>("phase");
        QTest::newRow("étape plus avancée que le type") << "decouverte" << "negociation" << "" << "negociation";
        QTest::newRow("type plus avancé que l'étape") << "closing" << "contacte" << "" << "closing";
        QTest::newRow("signal du transcript") << "demo" << "demo" << "On peut parler d'une remise ?" << "negociation";
        QTest::newRow("signal sous le type") << "closing" << "proposition" << "Je vous montre la démo" << "closing";
        QTest::newRow("prospection") << "prospection" << "nouveau" << "" << "prospection";
    }
    void phaseDeduite()
    {
        QFETCH(QString, type);
        QFETCH(QString, etape);
        QFETCH(QString, derniere);
        QFETCH(QString, phase);
        QJsonObject entree{{QStringLiteral("type"), type}, {QStringLiteral("contact"), QJsonObject{{QStringLiteral("etape"), etape}}}};
        if (!derniere.isEmpty())
            entree.insert(QStringLiteral("transcript"), QJsonArray{seg("prospect", derniere, 0, 2000)});
        QCOMPARE(m.phaseDeduite(entree).valeur(), phase);
        QCOMPARE(m.phaseEtape(QStringLiteral("proposition")).valeur(), QStringLiteral("negociation"));
    }

    // Framework operations: one value of the answer, reached by a dotted path.
    void operationsFramework_data()
    {
        QTest::addColumn<QString>("fonction");
        QTest::addColumn<QByteArray>("arguments");
        QTest::addColumn<QString>("chemin_");
        QTest::addColumn<QByteArray>("attendu");
        const QByteArray fw = "{\"id\":\" f \",\"nom\":\"P\",\"etapes\":[{\"id\":\" demo \",\"nom\":\"Démo\",\"typesAppel\":[\"demo\"],\"questions\":[\"Qu\\u0027est-ce qui manque ?\"]},{\"nom\":\"Démo\"},{\"id\":\"tous\",\"nom\":\"Tous\"}]}";
        auto ligne = [](const char* nom, const char* f, const QByteArray& args, const char* chemin, const QByteArray& attendu) {
            QTest::newRow(nom) << QString::fromLatin1(f) << args << QString::fromLatin1(chemin) << attendu;
        };
        ligne("ids nets", "formeFramework", "[" + fw + "]", "etapes.0.id", "\"demo\"");
        ligne("id tiré du nom, unique", "formeFramework", "[" + fw + "]", "etapes.1.id", "\"demo_2\"");
        ligne("étapes du type", "etapesPourType", "[" + fw + ",\"decouverte\"]", "length", "2");
        ligne("grille de la méthode", "grilleFramework", "[{\"methode\":\"bant\",\"etapes\":[]}]", "methode", "\"bant\"");
        ligne("grille par défaut", "grilleFramework", "[{\"etapes\":[]}]", "methode", "\"essentiel\"");
        ligne("poids répartis à 100", "normaliserGuideEtapes", "[\"{\\\"etapes\\\":[{\\\"nom\\\":\\\"A\\\",\\\"poids\\\":50},{\\\"nom\\\":\\\"B\\\"},{\\\"nom\\\":\\\"C\\\"}]}\"]", "2.poids", "25");
        ligne("item de grille aux espaces", "detecterQualification",
              "[{\"transcript\":[{\"locuteur\":\"prospect\",\"texte\":\"On a un budget de 10 000 euros.\",\"debutMs\":0,\"finMs\":900}],"
              "\"grille\":{\"items\":[{\"id\":\" budget \",\"nom\":\"Budget\",\"champ\":\"budget\"}]}}]", "0.item", "\"budget\"");
        ligne("texte sans étape", "normaliserFrameworkTexte", "[\"pas de JSON\"]", "framework.etapes.length", "0");
        ligne("question d'étape posée", "questionsEtapePosees",
              "[{\"etapes\":[{\"id\":\" demo \",\"questions\":[\"Qu\\u0027est-ce qui manque ?\"]}],\"texte\":\"Et qu\\u0027est-ce qui vous manque ?\"}]", "0.cle", "\"demo#0\"");
    }
    void operationsFramework()
    {
        QFETCH(QString, fonction);
        QFETCH(QByteArray, arguments);
        QFETCH(QString, chemin_);
        QFETCH(QByteArray, attendu);
        Moteur::Arguments a;
        for (const QJsonValue& v : QJsonDocument::fromJson(arguments).array())
            a.append(v);
        const QJsonValue r = chemin(json(fonction, a), chemin_);
        QCOMPARE(QJsonDocument(QJsonArray{r}).toJson(QJsonDocument::Compact), "[" + attendu + "]");
    }
};

QTEST_GUILESS_MAIN(TstMoteurRegles)
#include "tst_moteur_regles.moc"
