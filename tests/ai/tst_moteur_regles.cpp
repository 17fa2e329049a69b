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

    void compterQuestions()
    {
        const QList<std::pair<QString, int>> cas{
            {"Vous utilisez quoi aujourd'hui ? Et combien ça vous coûte", 2},
            {"Est-ce que vous avez un budget pour ça", 1},
            {"Est-ce qu'il y a quelqu'un d'autre dans la boucle", 1},
            {"Avez-vous déjà regardé d'autres solutions", 1},
            {"Y a-t-il une date butoir", 1},
            {"Combien de techniciens avez-vous", 1},
            {"Quelle est votre priorité cette année", 1},
            {"Et quand une urgence arrive, ça se passe comment", 1},
            {"Qu'est-ce qui vous a fait prendre ce rendez-vous", 1},
            {"Je voulais savoir qui gère les plannings chez vous.", 1},
            {"Racontez-moi comment se passe une journée type.", 1},
            {"Comment et quand comptez-vous démarrer ?", 1},
            {"Quel budget ? Et pour quand ?", 2},
            {"Je vous envoie le rendez-vous dans la journée.", 0},
            {"Dites-nous ce qui compte le plus.", 0},
            {"Pourquoi pas, on peut essayer.", 0},
            {"Il n'y a pas de quoi.", 0},
            {"D'accord, merci beaucoup.", 0},
            {"EST-CE QUE ÇA VOUS CONVIENT", 1},
            {"Qu’est-ce qui coince le plus", 1},   // typographic apostrophe
            {"vous utilisez quoi aujourd'hui et combien ça vous coûte", 2},
            {"Vous faites quoi le lundi matin", 1},
            {"Je ne sais pas quoi vous dire.", 0},
            {"C'est bien, enfin bref quoi.", 0},
            {"", 0},
        };
        for (const auto& [texte, n] : cas)
            QCOMPARE(std::pair(texte, m.appelerNombre(QStringLiteral("compterQuestions"), {texte}).valeurOu(-1)), std::pair(texte, double(n)));
    }

    void compterQuestionsDuCommercialSeulement()
    {
        const QJsonArray t{seg("vous", "Comment ça se passe aujourd'hui ?", 0, 2000), seg("prospect", "Et vous, vous faites comment ?", 2500, 4000),
                           seg("vous", "Est-ce que vous avez un budget", 4500, 6000)};
        QCOMPARE(m.appelerNombre(QStringLiteral("compterQuestions"), {t}).valeur(), 2.0);
        QCOMPARE(m.appelerNombre(QStringLiteral("compterQuestions"), {QJsonObject{{QStringLiteral("transcript"), t}}}).valeur(), 2.0);
    }

    void detecterObjection()
    {
        const QList<std::pair<QString, QString>> cas{   // the text, its category or none
            {"Franchement, c'est trop cher pour nous.", "prix"},
            {"C'est UN PEU CHER quand même", "prix"},
            {"On n'a pas le budget cette année.", "prix"},
            {"Ce n'est pas trop cher, ça va.", ""},   // a negation
            {"Je cherche une solution simple.", ""},   // "cher" is not a whole word
            {"Envoyez-moi une documentation, je regarderai.", "documentation"},
            {"Je n'ai pas le temps, là.", "temps"},
            {"Ce n'est pas le bon moment pour nous.", "timing"},
            {"Rappelez-moi dans six mois.", "timing"},
            {"On a déjà un outil pour ça.", "concurrence"},
            {"Honnêtement, on n'en a pas besoin.", "besoin"},
            {"Ce n'est pas moi qui décide, il faut voir avec mon directeur.", "decideur"},
            {"Il faut que je repasse par le comité.", "decideur"},
            {"L'autre outil, c'était une usine à gaz.", "confiance"},
            {"Je vais réfléchir et je reviens vers vous.", "reflexion"},
            {"Non merci, on n'est pas intéressés.", "besoin"},
            {"On a quarante techniciens sur trois agences.", ""},
        };
        for (const auto& [texte, categorie] : cas) {
            const QJsonValue v = json(QStringLiteral("detecterObjection"), {texte});
            QCOMPARE(std::pair(texte, v.isNull() ? QString() : champs(v, {"categorie", "extrait"})),
                     std::pair(texte, categorie.isEmpty() ? QString() : categorie + " | " + texte));
            QVERIFY2(v.isNull() || !v.toObject().value(QStringLiteral("libelle")).toString().isEmpty(), qPrintable(texte));
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

    // The text, the grid, the items found and the value of the budget.
    void detecterQualification()
    {
        const QList<QStringList> cas{
            {"On a une enveloppe d'environ 15 000 euros par an.", "essentiel", "budget", "15 000 euros"},
            {"C'est notre directrice générale qui signe.", "essentiel", "decideur", ""},
            {"On veut démarrer d'ici septembre.", "essentiel", "echeance", ""},
            {"On perd un temps fou à refaire les plannings.", "essentiel", "douleur", ""},
            {"Il fait beau aujourd'hui.", "essentiel", "", ""},
            {"Le budget est de 20 k€ et il faut que ce soit réglé avant l'été.", "bant", "budget,echeance", "20 k€"},
            {"On veut gagner 10 heures par semaine, et on compare trois solutions.", "meddic", "metriques,criteres", ""},
            {"Ce qui compte, c'est que ce soit simple et fiable.", "soncas", "securite,confort", ""},
        };
        for (const QStringList& c : cas) {
            const QJsonArray l = json(QStringLiteral("detecterQualification"), {c[0], c[1]}).toArray();
            QStringList obtenu{c[0], liste(l, "item").join(QLatin1Char(',')), c[3]};
            for (const QJsonValue& v : l) {
                QCOMPARE(v["preuve"].toString(), c[0]);
                if (v["item"].toString() == QLatin1String("budget"))
                    obtenu[2] = v["valeur"].toString();
            }
            QCOMPARE(obtenu, (QStringList{c[0], c[2], c[3]}));
        }
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

    void resoudreEcheance()
    {
        const QString lundi = QStringLiteral("2026-12-07");           // a Monday
        const QString jeudi = QStringLiteral("2026-12-03T17:30:00"); // a Thursday, local time
        const QList<QStringList> cas{   // the words, the reference, the date or none
            {"Rappeler jeudi 11 h", lundi, "2026-12-10"},
            {"Rappeler jeudi", jeudi, "2026-12-10"},
            {"On fait ça ce jeudi", jeudi, "2026-12-03"},
            {"Envoyer la proposition demain", lundi, "2026-12-08"},
            {"après-demain", lundi, "2026-12-09"},
            {"On se rappelle la semaine prochaine", jeudi, "2026-12-07"},
            {"mardi semaine prochaine", jeudi, "2026-12-08"},
            {"Démo le 12", lundi, "2026-12-12"},
            {"le 2", lundi, "2027-01-02"},
            {"le 31", "2026-11-10", "2026-12-31"},   // of a month of 30 days
            {"Décision fin du mois", lundi, "2026-12-31"},
            {"Signature fin février", lundi, "2027-02-28"},
            {"dans 3 jours", lundi, "2026-12-10"},
            {"dans huit jours", lundi, "2026-12-14"},
            {"dans deux semaines", lundi, "2026-12-21"},
            {"On se revoit jeudi en huit", lundi, "2026-12-17"},
            {"Je reviens vers vous dans une quinzaine", lundi, "2026-12-21"},
            {"Rappel le 12/01", lundi, "2027-01-12"},
            {"15 janvier", lundi, "2027-01-15"},
            {"2027-02-03", lundi, "2027-02-03"},
            {"On démarre le mois prochain", lundi, "2027-01-01"},
            {"Réponse en fin de semaine", lundi, "2026-12-11"},
            {"demain", "2026-12-07T23:30:00.000Z", "2026-12-09"},   // a UTC reference, already the 8th in Paris
            {"Date à définir", lundi, ""},
            {"On verra plus tard", lundi, ""},
            {"Envoyer la proposition", lundi, ""},
            {"Il y a 12 techniciens", lundi, ""},
            {"En janvier, peut-être", lundi, ""},
            {"", lundi, ""},
        };
        for (const QStringList& c : cas) {
            auto r = m.appeler(QStringLiteral("resoudreEcheance"), {c[0], c[1]});
            QVERIFY(r);
            QCOMPARE(QStringList({c[0], c[1], r.valeur().type == ValeurJS::Type::null ? QString() : r.valeur().texte}), c);
        }
    }

    void detecterRegistre()
    {
        const QList<QStringList> cas{   // the salesperson, the prospect, the form found and "sans objet" when none is used
            {"Vous avez un moment ? Votre équipe est là ?", "Oui, je vous écoute.", "vous", ""},
            {"Tu as cinq minutes ? Ton équipe t'a parlé de nous ?", "Oui, vas-y, je t'écoute.", "tu", ""},
            {"On en parle maintenant ?", "Tu sais, toi et moi on se connaît, ton offre m'intéresse.", "tu", ""},   // the prospect's
            {"Vous voyez ? Votre planning, vos équipes, vous gagnez du temps, votre agence aussi.", "Comme on dit, tu vois.", "vous", ""},
            {"Bonjour, merci.", "Bonjour.", "vous", "sans objet"},
        };
        for (const QStringList& c : cas) {
            const QJsonObject d = json("detecterRegistre", {QJsonArray{seg("vous", c[0], 0, 3000), seg("prospect", c[1], 3500, 6000)}}).toObject();
            QCOMPARE(QStringList({c[0], c[1], d["registre"].toString(), d["sansObjet"].toBool() ? "sans objet" : ""}), c);
            QVERIFY(d["confiance"].toDouble() >= 0 && d["confiance"].toDouble() <= 1);
            QVERIFY(c[2] != QLatin1String("tu") || d.contains(QStringLiteral("depuisMs")));
        }
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

    void phaseDeduite()
    {
        const QList<QStringList> cas{   // the call type, the contact's step, the prospect's last words, the phase
            {"decouverte", "negociation", "", "negociation"},   // the step is further on than the type
            {"closing", "contacte", "", "closing"},             // and the other way round
            {"demo", "demo", "On peut parler d'une remise ?", "negociation"},   // a sign in the transcript
            {"closing", "proposition", "Je vous montre la démo", "closing"},   // a sign below the type
            {"prospection", "nouveau", "", "prospection"},
        };
        for (const QStringList& c : cas) {
            QJsonObject entree{{"type", c[0]}, {"contact", QJsonObject{{"etape", c[1]}}}};
            if (!c[2].isEmpty())
                entree.insert(QStringLiteral("transcript"), QJsonArray{seg("prospect", c[2], 0, 2000)});
            QCOMPARE(c.mid(0, 3) << m.phaseDeduite(entree).valeur(), c);
        }
        QCOMPARE(m.phaseEtape(QStringLiteral("proposition")).valeur(), QStringLiteral("negociation"));
    }

    // Framework operations: one value of the answer, reached by a dotted path.
    void operationsFramework()
    {
        const QByteArray fw = "{\"id\":\" f \",\"nom\":\"P\",\"etapes\":[{\"id\":\" demo \",\"nom\":\"Démo\",\"typesAppel\":[\"demo\"],\"questions\":[\"Qu\\u0027est-ce qui manque ?\"]},{\"nom\":\"Démo\"},{\"id\":\"tous\",\"nom\":\"Tous\"}]}";
        auto ligne = [this](const char* nom, const char* f, const QByteArray& args, const char* c, const QByteArray& attendu) {
            Moteur::Arguments a;
            for (const QJsonValue& v : QJsonDocument::fromJson(args).array())
                a.append(v);
            const QByteArray r = QJsonDocument(QJsonArray{chemin(json(QString::fromLatin1(f), a), QString::fromLatin1(c))}).toJson(QJsonDocument::Compact);
            QCOMPARE(nom + (" " + r), nom + (" [" + attendu + "]"));
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
};

QTEST_GUILESS_MAIN(TstMoteurRegles)
#include "tst_moteur_regles.moc"
