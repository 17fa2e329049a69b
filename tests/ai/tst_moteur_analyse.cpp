// The shipped moteur.js on the live, analysis and brief side: requests,
// payloads, reading the model's answer, effects on the contact, demonstration data.
#include "ai/demonstration.h"
#include "ai/moteur.h"
#include "model/appel.h"
#include "model/etat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

using namespace vd::ai;

namespace {

QJsonObject seg(const char* qui, const QString& texte, int debut, int fin)
{
    return {{QStringLiteral("locuteur"), QString::fromLatin1(qui)}, {QStringLiteral("texte"), texte},
            {QStringLiteral("debutMs"), debut}, {QStringLiteral("finMs"), fin}};
}

QString texteJson(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }


QJsonObject parametres(const QString& contact, const QString& type, const QString& objectif = {}, const QString& langue = {})
{
    return {{QStringLiteral("contactId"), contact}, {QStringLiteral("type"), type}, {QStringLiteral("objectif"), objectif},
            {QStringLiteral("methode"), QString()}, {QStringLiteral("langue"), langue}};
}

QJsonObject objetDe(const QString& texte) { return QJsonDocument::fromJson(texte.toUtf8()).object(); }

QStringList cles(const QJsonArray& a)
{
    QStringList r;
    for (const QJsonValue& v : a)
        r << v.toString();
    return r;
}

} // namespace

class TstMoteurAnalyse : public QObject {
    Q_OBJECT
    Moteur m{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};
    QJsonObject etat;

    QJsonValue json(const QString& f, const Moteur::Arguments& a = {})
    {
        auto r = m.appelerJSON(f, a);
        if (!r)
            qWarning() << f << r.erreur().description();
        return r ? r.valeur() : QJsonValue(QJsonValue::Undefined);
    }
    QJsonObject payload(const QJsonObject& p) { return json(QStringLiteral("payloadBrief"), {p}).toObject(); }
    QJsonObject appelCourt() const
    {
        return {{QStringLiteral("id"), QStringLiteral("a_test")}, {QStringLiteral("contactId"), QStringLiteral("c_morel")},
                {QStringLiteral("type"), QStringLiteral("decouverte")}, {QStringLiteral("debut"), QStringLiteral("2026-12-07T09:00:00.000Z")},
                {QStringLiteral("transcript"), QJsonArray{seg("vous", QStringLiteral("Comment gérez-vous vos plannings ?"), 0, 3000),
                                                          seg("prospect", QStringLiteral("Sur un tableur, on perd un temps fou. C'est un peu cher, votre outil."), 3500, 8000),
                                                          seg("vous", QStringLiteral("Par rapport à quoi ?"), 8500, 9500),
                                                          seg("prospect", QStringLiteral("Par rapport au tableur."), 10000, 12000),
                                                          seg("vous", QStringLiteral("Je vous propose une démo jeudi."), 12500, 15000)}}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        etat = json(QStringLiteral("etatDemo"), {QStringLiteral("2026-12-07T10:00:00")}).toObject();
        QVERIFY(!etat.isEmpty());
        QVERIFY(m.appeler(QStringLiteral("chargerEtat"), {etat}));
    }

    void chargerEtatIllisible()
    {
        Moteur autre{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};
        auto r = autre.appeler(QStringLiteral("chargerEtat"), {QStringLiteral("pas du JSON")});
        QVERIFY(!r);
        QCOMPARE(r.erreur().detail, QStringLiteral("Les données transmises au moteur sont illisibles."));
        auto vide = autre.appeler(QStringLiteral("chargerEtat"), {QJsonValue::Null});
        QVERIFY(vide);
        QCOMPARE(vide.valeur().type, ValeurJS::Type::indefini);
    }

    void etatDeDemonstration()
    {
        auto e = vd::model::Etat::depuisJson(etat);
        QVERIFY(e);
        QVERIFY(e->contacts.size() >= 12);
        QSet<QString> etapes;
        for (const auto& c : e->contacts)
            etapes.insert(c.etape);
        for (const QJsonValue& s : m.donnee(QStringLiteral("ETAPES")).toArray())
            QVERIFY2(etapes.contains(s.toObject().value(QStringLiteral("id")).toString()), qPrintable(s.toObject().value(QStringLiteral("id")).toString()));
        QCOMPARE(e->profilsClients.size(), 2);
        QVERIFY(e->objections.size() >= 5);
        QVERIFY(e->appels.size() >= 4);
        for (const auto& a : e->appels) {
            QVERIFY(a.contactId && e->contact(*a.contactId));
            QVERIFY(a.transcript.size() >= 5);
            QVERIFY(a.analyse && a.analyse->score > 0);
            QVERIFY(a.metriques && a.metriques->nbEchanges > 0);
            for (const auto& i : e->interactions)
                if (i.appelId == a.id)
                    QCOMPARE(i.contactId, *a.contactId);
        }
        QVERIFY(!e->entreprise.nom.isEmpty() && !e->entreprise.offre.prix.isEmpty());
        QVERIFY(e->reglages.onboarde);
        // Same reference, same state: the demonstration is reproducible.
        QCOMPARE(json(QStringLiteral("etatDemo"), {QStringLiteral("2026-12-07T10:00:00")}).toObject(), etat);
        QVERIFY(vd::ai::etatDemonstration(m) && vd::ai::etatDemonstration(m)->contact(QStringLiteral("c_morel")));
        Moteur absent(QStringLiteral("/nulle/part/moteur.js"));
        QVERIFY(!vd::ai::etatDemonstration(absent));
    }

    void scenarios_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("découverte") << "decouverte";
        QTest::newRow("négociation") << "negociation";
    }
    void scenarios()
    {
        QFETCH(QString, id);
        const QJsonObject s = json(QStringLiteral("scenarioDemo"), {id}).toObject();
        auto e = vd::model::Etat::depuisJson(etat);
        QVERIFY(e->contact(s.value(QStringLiteral("contactId")).toString()));
        QVERIFY(!s.value(QStringLiteral("objectif")).toString().isEmpty());
        const QJsonArray tours = s.value(QStringLiteral("tours")).toArray();
        QVERIFY(tours.size() >= 10);
        qint64 fin = 0;
        QSet<QString> locuteurs;
        for (const QJsonValue& t : tours) {
            const QJsonObject o = t.toObject();
            locuteurs.insert(o.value(QStringLiteral("locuteur")).toString());
            QVERIFY(o.value(QStringLiteral("finMs")).toInteger() > o.value(QStringLiteral("debutMs")).toInteger());
            QVERIFY(o.value(QStringLiteral("debutMs")).toInteger() >= fin - 1000);   // at most a short overlap
            fin = o.value(QStringLiteral("finMs")).toInteger();
        }
        QCOMPARE(locuteurs, (QSet<QString>{QStringLiteral("vous"), QStringLiteral("prospect")}));
        // The scripted call carries objections and questions for the prompter to find.
        QVERIFY(!json(QStringLiteral("detecterObjection"), {QJsonObject{{QStringLiteral("transcript"), tours}, {QStringLiteral("detections"), QJsonArray()}}}).toArray().isEmpty());
        QVERIFY(m.appelerNombre(QStringLiteral("compterQuestions"), {tours}).valeur() >= 4);
    }

    void scenarioInconnu()
    {
        auto r = m.appelerJSON(QStringLiteral("scenarioDemo"), {QStringLiteral("inconnu")});
        QVERIFY(!r);
        QCOMPARE(r.erreur().detail, QStringLiteral("Ce scénario de démonstration n'existe pas : inconnu."));
    }

    void decouverteQualifieTout()
    {
        const QJsonObject s = json(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")}).toObject();
        QStringList ids;
        for (const QJsonValue& v : json(QStringLiteral("detecterQualification"), {QJsonObject{{QStringLiteral("transcript"), s.value(QStringLiteral("tours"))}}}).toArray())
            ids << v.toObject().value(QStringLiteral("item")).toString();
        QCOMPARE(ids, (QStringList{QStringLiteral("douleur"), QStringLiteral("budget"), QStringLiteral("decideur"), QStringLiteral("echeance")}));
    }

    void objectionDeLaBibliotheque()
    {
        // The demonstration library holds « On a déjà essayé, ça n'a pas marché. » (confiance): recognised in other words.
        const QJsonObject d = json(QStringLiteral("detecterObjection"), {QStringLiteral("Franchement, on a déjà essayé ce genre de truc et ça n'a jamais marché.")}).toObject();
        QCOMPARE(d.value(QStringLiteral("categorie")).toString(), QStringLiteral("confiance"));
        QCOMPARE(d.value(QStringLiteral("objectionId")).toString(), QStringLiteral("o_confiance"));
        QVERIFY(d.value(QStringLiteral("reponse")).toString().startsWith(QStringLiteral("Merci de le dire.")));
        // A pattern hit carries the library's answer of its category.
        const QJsonObject prix = json(QStringLiteral("detecterObjection"), {QStringLiteral("C'est trop cher.")}).toObject();
        QCOMPARE(prix.value(QStringLiteral("objectionId")).toString(), QStringLiteral("o_prix"));
    }

    void contexteEtConsigne()
    {
        const QJsonObject ctx = json(QStringLiteral("contexteAppel"), {QJsonObject{{QStringLiteral("contactId"), QStringLiteral("c_garnier")}, {QStringLiteral("type"), QStringLiteral("negociation")}},
                                                                          QStringLiteral("a_garnier_demo")}).toObject();
        QCOMPARE(ctx.value(QStringLiteral("contact")).toObject().value(QStringLiteral("societe")).toString(), QStringLiteral("Lumen Facility"));
        QCOMPARE(ctx.value(QStringLiteral("historique")).toArray().size(), 0);   // the excluded call
        QCOMPARE(ctx.value(QStringLiteral("etapes")).toArray().size(), 2);       // steps that apply to a negotiation
        QCOMPARE(ctx.value(QStringLiteral("registre")).toString(), QStringLiteral("vous"));
        QCOMPARE(m.appelerTexte(QStringLiteral("typeConsigne"), {ctx}).valeur(), QStringLiteral("etape"));
        QCOMPARE(m.appelerTexte(QStringLiteral("consigneLive"), {ctx}).valeur(), QStringLiteral("Négociation : Trouver un accord sans baisser le prix, en recadrant sur la valeur."));
        QJsonObject avecObjectif = ctx;
        avecObjectif.insert(QStringLiteral("objectif"), QStringLiteral("Signer avant vendredi"));
        QCOMPARE(m.appelerTexte(QStringLiteral("consigneLive"), {avecObjectif}).valeur(), QStringLiteral("Objectif : Signer avant vendredi"));
        QCOMPARE(m.appelerTexte(QStringLiteral("typeConsigne"), {avecObjectif}).valeur(), QStringLiteral("objectif"));
        const QJsonObject ctx2 = json(QStringLiteral("contexteAppel"), {QJsonObject{{QStringLiteral("contactId"), QStringLiteral("c_garnier")}}}).toObject();
        QCOMPARE(ctx2.value(QStringLiteral("historique")).toArray().size(), 1);
        const QJsonObject cc = json(QStringLiteral("contexteContact"), {QStringLiteral("c_roux")}).toObject();
        QCOMPARE(cc.value(QStringLiteral("appelsPasses")).toArray().size(), 1);
        // Its past call met two objections: the decision maker and the documentation request.
        QCOMPARE(cc.value(QStringLiteral("objectionsPassees")).toArray().size(), 2);
        QVERIFY(json(QStringLiteral("contexteContact"), {QStringLiteral("inconnu")}).isNull());
    }

    void payloadLiveFenetre()
    {
        QJsonArray t;
        for (int i = 0; i < 10; ++i)
            t.append(seg(i % 2 ? "prospect" : "vous", QStringLiteral("Phrase %1").arg(i), i * 20000, i * 20000 + 5000));
        const QJsonObject p = json(QStringLiteral("payloadLive"), {QStringLiteral("questions"), QJsonObject(), t, QJsonArray(), QJsonValue::Null, QString(), 10}).toObject();
        QCOMPARE(p.value(QStringLiteral("fenetreSec")).toInt(), 30);   // never under 30 s
        QCOMPARE(p.value(QStringLiteral("transcript")).toArray().size(), 2);
        QCOMPARE(p.value(QStringLiteral("derniereProspect")).toString(), QStringLiteral("Phrase 9"));
        const QJsonObject p2 = json(QStringLiteral("payloadLive"), {QJsonObject{{QStringLiteral("tache"), QStringLiteral("libre")}, {QStringLiteral("transcript"), t},
                                                                                 {QStringLiteral("demande"), QStringLiteral("récap")}}}).toObject();
        QCOMPARE(p2.value(QStringLiteral("fenetreSec")).toInt(), 180);
        QCOMPARE(p2.value(QStringLiteral("transcript")).toArray().size(), 9);
        QCOMPARE(p2.value(QStringLiteral("tache")).toString(), QStringLiteral("libre"));
        const QJsonObject recap = QJsonDocument::fromJson(m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("libre"), p2}).valeur().toUtf8()).object();
        QVERIFY(recap.contains(QStringLiteral("points")));
    }

    void requetes_data()
    {
        QTest::addColumn<QString>("tache");
        QTest::addColumn<QString>("modele");
        QTest::addColumn<QString>("attendu");
        QTest::addColumn<bool>("format");
        QTest::addColumn<QString>("effort");
        QTest::newRow("objection") << "objection" << "claude-haiku-4-5" << "claude-haiku-4-5" << true << "";
        QTest::newRow("questions sans modèle") << "questions" << "" << "claude-haiku-4-5" << true << "";
        QTest::newRow("recap") << "recap" << "claude-haiku-4-5" << "claude-haiku-4-5" << true << "";
        QTest::newRow("analyse opus") << "analyse" << "claude-opus-5-5" << "claude-opus-5-5" << false << "high";
        QTest::newRow("analyse des réglages") << "analyse" << "" << "claude-sonnet-5-5" << false << "high";
        QTest::newRow("analyse haiku") << "analyse" << "claude-haiku-4-5" << "claude-haiku-4-5" << false << "";
        QTest::newRow("brief sans modèle") << "brief" << "" << "claude-sonnet-5-5" << true << "";
    }
    void requetes()
    {
        QFETCH(QString, tache);
        QFETCH(QString, modele);
        QFETCH(QString, attendu);
        QFETCH(bool, format);
        QFETCH(QString, effort);
        const QJsonValue payload = tache == QLatin1String("analyse") ? json(QStringLiteral("payloadAnalyse"), {appelCourt()})
                                   : tache == QLatin1String("brief") ? QJsonValue(this->payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation"))))
                                                                     : json(QStringLiteral("payloadLive"), {tache, QJsonObject(), appelCourt().value(QStringLiteral("transcript"))});
        const QJsonObject r = json(QStringLiteral("requete"), {tache, payload, modele}).toObject();
        const QJsonObject corps = r.value(QStringLiteral("corps")).toObject();
        QCOMPARE(corps.value(QStringLiteral("model")).toString(), attendu);
        QCOMPARE(corps.value(QStringLiteral("output_config")).toObject().contains(QStringLiteral("format")), format);
        QCOMPARE(r.value(QStringLiteral("effort")).toString(), effort);
        QCOMPARE(corps.value(QStringLiteral("max_tokens")).toInt(), r.value(QStringLiteral("maxTokens")).toInt());
        QVERIFY(!corps.contains(QStringLiteral("stream")));
        const QString systeme = corps.value(QStringLiteral("system")).toString();
        QVERIFY(systeme.contains(QStringLiteral("écrivez tout en français, phrases à dire comprises")));
        QCOMPARE(corps.value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("role")).toString(), QStringLiteral("user"));
    }

    void promptEnDirect()
    {
        const QJsonObject ctx = json(QStringLiteral("contexteAppel"), {QJsonObject{{QStringLiteral("contactId"), QStringLiteral("c_morel")}}}).toObject();
        QJsonArray t{seg("vous", QStringLiteral("Et le prix ?"), 0, 2000), seg("prospect", QStringLiteral("C'est un peu cher pour nous."), 2500, 5000)};
        QJsonObject deuxieme = seg("prospect", QStringLiteral("Et il faut voir avec la DG."), 5200, 7000);
        deuxieme.insert(QStringLiteral("interlocuteur"), 2);
        t.append(deuxieme);
        const QJsonValue detection = json(QStringLiteral("detecterObjection"), {t});
        const QJsonArray aides{QJsonObject{{QStringLiteral("tache"), QStringLiteral("questions")}, {QStringLiteral("resultat"), QStringLiteral("Qui décide ?")}}};
        const QJsonValue p = json(QStringLiteral("payloadLive"), {QStringLiteral("objection"), ctx, t, aides, detection, QString(), 120});
        const QJsonObject corps = json(QStringLiteral("requete"), {QStringLiteral("objection"), p, QString()}).toObject().value(QStringLiteral("corps")).toObject();
        const QString contenu = corps.value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("content")).toString();
        for (const QString& attendu : {QStringLiteral("CONTEXTE DE L'APPEL"), QStringLiteral("TRANSCRIPT RÉCENT (120 dernières secondes)"),
                                       QStringLiteral("Prospect 2 : Et il faut voir avec la DG."), QStringLiteral("DERNIÈRE PHRASE DU PROSPECT"),
                                       QStringLiteral("OBJECTION REPÉRÉE"), QStringLiteral("RÉPONSES PRÉPARÉES DE LA BIBLIOTHÈQUE"),
                                       QStringLiteral("AIDES DÉJÀ DONNÉES (ne pas les répéter)"), QStringLiteral("Qui décide ?"), QStringLiteral("Thermiq Services")})
            QVERIFY2(contenu.contains(attendu), qPrintable(attendu));
        // The salesperson's own words never become "the prospect's last sentence".
        QCOMPARE(p.toObject().value(QStringLiteral("derniereProspect")).toString(), QStringLiteral("C'est un peu cher pour nous. Et il faut voir avec la DG."));
        QVERIFY(corps.value(QStringLiteral("system")).toString().contains(QStringLiteral("vouvoient")));
        const QJsonObject schema = corps.value(QStringLiteral("output_config")).toObject().value(QStringLiteral("format")).toObject().value(QStringLiteral("schema")).toObject();
        QCOMPARE(schema.value(QStringLiteral("required")).toArray(), (QJsonArray{QStringLiteral("reponse"), QStringLiteral("pourquoi"), QStringLiteral("question")}));
    }

    void requeteEnAnglaisEtTacheInconnue()
    {
        QJsonObject p = json(QStringLiteral("payloadLive"), {QStringLiteral("objection"), QJsonObject{{QStringLiteral("langue"), QStringLiteral("en")}}, QJsonArray()}).toObject();
        const QString systeme = json(QStringLiteral("requete"), {QStringLiteral("objection"), p, QString()}).toObject().value(QStringLiteral("corps")).toObject().value(QStringLiteral("system")).toString();
        QVERIFY(systeme.contains(QStringLiteral("Écrivez en anglais tout ce que le commercial dit")));
        auto r = m.appelerJSON(QStringLiteral("requete"), {QStringLiteral("poeme"), QJsonObject(), QString()});
        QVERIFY(!r);
        QCOMPARE(r.erreur().detail, QStringLiteral("Tâche inconnue : poeme."));
    }

    void optionsDuModele()
    {
        QCOMPARE(m.appelerBooleen(QStringLiteral("repliSupporte"), {QStringLiteral("claude-opus-5-5")}).valeur(), true);
        QCOMPARE(m.appelerBooleen(QStringLiteral("repliSupporte"), {QStringLiteral("claude-haiku-4-5")}).valeur(), false);
        QCOMPARE(m.appelerBooleen(QStringLiteral("effortSupporte"), {QStringLiteral("claude-sonnet-5-5")}).valeur(), true);
        QCOMPARE(m.appelerBooleen(QStringLiteral("effortSupporte"), {QStringLiteral("claude-haiku-4-5")}).valeur(), false);
        QCOMPARE(m.appelerBooleen(QStringLiteral("erreurDeFormat"), {QStringLiteral("output_config.format is not supported for this model")}).valeur(), true);
        QCOMPARE(m.appelerBooleen(QStringLiteral("erreurDeFormat"), {QStringLiteral("rate limit exceeded")}).valeur(), false);
    }

    void payloadIncomplet_data()
    {
        QTest::addColumn<QString>("appel");
        QTest::newRow("vide") << "{}";
        QTest::newRow("sans transcript") << "{\"id\":\"a1\"}";
        QTest::newRow("pas du JSON") << "appel";
    }
    void payloadIncomplet()
    {
        QFETCH(QString, appel);
        auto r = m.appelerJSON(QStringLiteral("payloadAnalyse"), {appel});
        QVERIFY(!r);
        QCOMPARE(r.erreur().description(), QStringLiteral("Le payload d'analyse est incomplet."));
    }

    void lectureDeLaReponse()
    {
        const QJsonObject brute{
            {QStringLiteral("verdict"), QStringLiteral("Bien")},
            {QStringLiteral("dimensions"), QJsonObject{{QStringLiteral("decouverte"), QJsonObject{{QStringLiteral("score"), 90}}},
                                                      {QStringLiteral("ecoute"), QStringLiteral("70")}, {QStringLiteral("valeur"), QJsonObject{{QStringLiteral("score"), QStringLiteral("pas un nombre")}}}}},
            {QStringLiteral("plafonds"), QJsonArray{QJsonObject{{QStringLiteral("dimension"), QStringLiteral("decouverte")}, {QStringLiteral("max"), 60}, {QStringLiteral("raison"), QStringLiteral("court")}}}},
            {QStringLiteral("crm"), QJsonObject{{QStringLiteral("etapeSuggeree"), QStringLiteral("Démo")}, {QStringLiteral("probabilite"), 0.4}}},
            {QStringLiteral("issue"), QJsonObject{{QStringLiteral("proposee"), QStringLiteral("Gagné")}, {QStringLiteral("raison"), QStringLiteral("Signé")}}},
            {QStringLiteral("questionsQuiMarchent"), QJsonArray{QStringLiteral("Comment gérez-vous vos plannings ?"), 3}},
            {QStringLiteral("prochainesEtapes"), QJsonArray{QJsonObject{{QStringLiteral("action"), QStringLiteral("Démo")}, {QStringLiteral("echeance"), QStringLiteral("jeudi")}}}},
        };
        // Prose and a code fence around the object are tolerated.
        const QString reponse = QStringLiteral("Voici l'analyse :\n```json\n") + texteJson(brute) + QStringLiteral("\n```");
        const QJsonObject a = json(QStringLiteral("finaliserAnalyse"), {reponse, appelCourt(), QJsonObject{{QStringLiteral("modele"), QStringLiteral("claude-opus-5-5")}, {QStringLiteral("source"), QStringLiteral("cle")}}}).toObject();
        const QJsonObject dims = a.value(QStringLiteral("dimensions")).toObject();
        QCOMPARE(dims.value(QStringLiteral("decouverte")).toObject().value(QStringLiteral("score")).toInt(), 60);   // capped
        QCOMPARE(dims.value(QStringLiteral("ecoute")).toObject().value(QStringLiteral("score")).toInt(), 70);
        QVERIFY(!dims.contains(QStringLiteral("valeur")));
        // No overall score given: the weighted mean of the dimensions ((60×0.2 + 70×0.15) / 0.35).
        QCOMPARE(a.value(QStringLiteral("score")).toInt(), qRound((60 * 0.2 + 70 * 0.15) / 0.35));
        QCOMPARE(a.value(QStringLiteral("crm")).toObject().value(QStringLiteral("etapeSuggeree")).toString(), QStringLiteral("demo"));
        QCOMPARE(a.value(QStringLiteral("crm")).toObject().value(QStringLiteral("probabilite")).toInt(), 40);
        QCOMPARE(a.value(QStringLiteral("issue")).toObject().value(QStringLiteral("proposee")).toString(), QStringLiteral("gagne"));
        QCOMPARE(a.value(QStringLiteral("questionsQuiMarchent")).toArray().size(), 2);
        QCOMPARE(a.value(QStringLiteral("questionsQuiMarchent")).toArray().at(1).toObject().value(QStringLiteral("question")).toString(), QStringLiteral("3"));
        QCOMPARE(a.value(QStringLiteral("prochainesEtapes")).toArray().at(0).toObject().value(QStringLiteral("echeance")).toString(), QStringLiteral("2026-12-10"));
        QCOMPARE(a.value(QStringLiteral("meta")).toObject().value(QStringLiteral("modele")).toString(), QStringLiteral("claude-opus-5-5"));
        // The live objection of the transcript is kept once, and the qualification comes from the transcript.
        QCOMPARE(a.value(QStringLiteral("objections")).toArray().size(), 0);
        QVERIFY(a.contains(QStringLiteral("qualification")));
        for (const char* cle : {"resume", "moments", "questionsOubliees", "email", "coaching", "methode"})
            QVERIFY2(a.contains(QLatin1String(cle)), cle);
    }

    void methodeNotee()
    {
        // Steps without weight take the process's; the method score is their weighted mean.
        const QJsonObject brute{{QStringLiteral("score"), 70},
                                {QStringLiteral("methode"), QJsonObject{{QStringLiteral("etapes"), QJsonArray{
                                    QJsonObject{{QStringLiteral("id"), QStringLiteral("decouverte")}, {QStringLiteral("score"), 80}, {QStringLiteral("statut"), QStringLiteral("couverte")},
                                                {QStringLiteral("questions"), QJsonArray{QJsonObject{{QStringLiteral("texte"), QStringLiteral("Qui décide ?")}, {QStringLiteral("posee"), true}}}}},
                                    QJsonObject{{QStringLiteral("id"), QStringLiteral("demo")}, {QStringLiteral("score"), 40}, {QStringLiteral("statut"), QStringLiteral("manquee")}}}}}}};
        const QJsonObject m2 = json(QStringLiteral("finaliserAnalyse"), {texteJson(brute), appelCourt()}).toObject().value(QStringLiteral("methode")).toObject();
        const QJsonArray etapes = m2.value(QStringLiteral("etapes")).toArray();
        QCOMPARE(etapes.at(0).toObject().value(QStringLiteral("poids")).toInt(), 35);
        QCOMPARE(etapes.at(1).toObject().value(QStringLiteral("poids")).toInt(), 25);
        QCOMPARE(etapes.at(0).toObject().value(QStringLiteral("couverte")).toBool(), true);
        QCOMPARE(etapes.at(1).toObject().value(QStringLiteral("couverte")).toBool(), false);
        QCOMPARE(etapes.at(0).toObject().value(QStringLiteral("questions")).toArray().at(0).toObject().value(QStringLiteral("posee")).toBool(), true);
        QCOMPARE(m2.value(QStringLiteral("score")).toInt(), qRound((80 * 35 + 40 * 25) / 60.0));
        QCOMPARE(m2.value(QStringLiteral("frameworkId")).toString(), QStringLiteral("fw_tempora"));
    }

    void reponseIllisible_data()
    {
        QTest::addColumn<QString>("reponse");
        QTest::newRow("vide") << "";
        QTest::newRow("prose") << "Je ne peux pas analyser cet appel.";
        QTest::newRow("JSON coupé") << "{\"score\": 80, \"verdict\": \"Bi";
        QTest::newRow("tableau") << "[1, 2]";
        // Text from the model is never run: this stays a string that fails to parse.
        QTest::newRow("code") << "{ score: (function(){ throw new Error('exécuté'); })() }";
    }
    void reponseIllisible()
    {
        QFETCH(QString, reponse);
        auto r = m.appelerJSON(QStringLiteral("finaliserAnalyse"), {reponse, appelCourt()});
        QVERIFY(!r);
        QCOMPARE(r.erreur().detail, QStringLiteral("La réponse de l'analyse est illisible."));
    }

    void appelCourtPlafonne()
    {
        QJsonObject appel = appelCourt();
        appel.insert(QStringLiteral("transcript"), QJsonArray{seg("vous", QStringLiteral("Allô ?"), 0, 1000), seg("prospect", QStringLiteral("Oui ?"), 1500, 2000)});
        const QJsonObject a = json(QStringLiteral("finaliserAnalyse"), {texteJson({{QStringLiteral("score"), 90}}), appel}).toObject();
        QCOMPARE(a.value(QStringLiteral("score")).toInt(), 40);
    }

    void prochaineEtapeNoteePrime()
    {
        QJsonObject appel = appelCourt();
        appel.insert(QStringLiteral("prochaineEtape"), QJsonObject{{QStringLiteral("texte"), QStringLiteral("Démo avec la DG")}, {QStringLiteral("echeance"), QStringLiteral("2026-12-11")}});
        const QJsonObject brute{{QStringLiteral("score"), 70},
                                {QStringLiteral("prochainesEtapes"), QJsonArray{QJsonObject{{QStringLiteral("action"), QStringLiteral("Envoyer une doc")}}}},
                                {QStringLiteral("crm"), QJsonObject{{QStringLiteral("etapeSuggeree"), QStringLiteral("demo")}, {QStringLiteral("prochaineAction"), QStringLiteral("Envoyer une doc")},
                                                                    {QStringLiteral("champs"), QJsonObject{{QStringLiteral("budget"), QStringLiteral("15 000 €")}}}}}};
        const QJsonObject a = json(QStringLiteral("finaliserAnalyse"), {texteJson(brute), appel}).toObject();
        QCOMPARE(a.value(QStringLiteral("prochainesEtapes")).toArray().at(0).toObject().value(QStringLiteral("action")).toString(), QStringLiteral("Démo avec la DG"));
        QCOMPARE(a.value(QStringLiteral("crm")).toObject().value(QStringLiteral("prochaineAction")).toString(), QStringLiteral("Démo avec la DG"));

        const QJsonObject effets = json(QStringLiteral("effetsAnalyse"), {a, QStringLiteral("c_morel"), appel, QJsonObject{{QStringLiteral("maintenant"), QStringLiteral("2026-12-07T10:00:00.000Z")}}}).toObject();
        const QJsonObject c = effets.value(QStringLiteral("contact")).toObject();
        QCOMPARE(c.value(QStringLiteral("etape")).toString(), QStringLiteral("demo"));
        QCOMPARE(effets.value(QStringLiteral("etapeAppliquee")).toBool(), true);
        QCOMPARE(c.value(QStringLiteral("prochaineAction")).toObject().value(QStringLiteral("texte")).toString(), QStringLiteral("Démo avec la DG"));
        QCOMPARE(c.value(QStringLiteral("prochaineAction")).toObject().value(QStringLiteral("echeance")).toString(), QStringLiteral("2026-12-11"));
        QCOMPARE(c.value(QStringLiteral("champs")).toObject().value(QStringLiteral("budget")).toString(), QStringLiteral("15 000 €"));
        QCOMPARE(c.value(QStringLiteral("majLe")).toString(), QStringLiteral("2026-12-07T10:00:00.000Z"));
        QCOMPARE(c.value(QStringLiteral("registre")).toObject().value(QStringLiteral("valeur")).toString(), QStringLiteral("vous"));
        const QJsonArray inter = effets.value(QStringLiteral("interactions")).toArray();
        QCOMPARE(inter.size(), 1);
        QCOMPARE(inter.at(0).toObject().value(QStringLiteral("appelId")).toString(), QStringLiteral("a_test"));
        QCOMPARE(inter.at(0).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("appel"));
    }

    void effetsSurLEtape_data()
    {
        QTest::addColumn<QString>("contact");
        QTest::addColumn<QString>("suggeree");
        QTest::addColumn<QString>("etape");
        QTest::addColumn<bool>("appliquee");
        QTest::newRow("avance") << "c_morel" << "decouverte" << "decouverte" << true;
        QTest::newRow("ne recule pas") << "c_garnier" << "demo" << "negociation" << false;
        QTest::newRow("gagné reste une décision") << "c_garnier" << "gagne" << "negociation" << false;
        QTest::newRow("un contact gagné ne bouge pas") << "c_lambert" << "demo" << "gagne" << false;
        QTest::newRow("réveil d'un contact en sommeil") << "c_bernard" << "" << "contacte" << false;
        QTest::newRow("étape inconnue") << "c_morel" << "banane" << "contacte" << false;
    }
    void effetsSurLEtape()
    {
        QFETCH(QString, contact);
        QFETCH(QString, suggeree);
        QFETCH(QString, etape);
        QFETCH(bool, appliquee);
        const QJsonObject analyse{{QStringLiteral("crm"), QJsonObject{{QStringLiteral("etapeSuggeree"), suggeree}}}};
        const QJsonObject effets = json(QStringLiteral("effetsAnalyse"), {analyse, contact, QJsonObject()}).toObject();
        QCOMPARE(effets.value(QStringLiteral("contact")).toObject().value(QStringLiteral("etape")).toString(), etape);
        QCOMPARE(effets.value(QStringLiteral("etapeAppliquee")).toBool(), appliquee);
        QVERIFY(!effets.value(QStringLiteral("contact")).toObject().contains(QStringLiteral("sommeilLe")));
    }

    void jamaisDeDateInventee()
    {
        const QJsonObject analyse{{QStringLiteral("crm"), QJsonObject{{QStringLiteral("prochaineAction"), QStringLiteral("Envoyer la proposition")}}}};
        const QJsonObject effets = json(QStringLiteral("effetsAnalyse"), {analyse, QStringLiteral("c_morel"), QJsonObject{{QStringLiteral("debut"), QStringLiteral("2026-12-07T09:00:00.000Z")}}}).toObject();
        QCOMPARE(effets.value(QStringLiteral("prochaineAction")).toObject().value(QStringLiteral("echeance")).toString(), QString());
        auto r = m.appelerJSON(QStringLiteral("effetsAnalyse"), {analyse, QStringLiteral("inconnu"), QJsonObject()});
        QCOMPARE(r.erreur().detail, QStringLiteral("Ce contact est introuvable."));
    }

    void normalisations()
    {
        const QJsonArray q = json(QStringLiteral("normaliserQuestionsPosees"), {QJsonArray{QStringLiteral("A ?"), QJsonObject{{QStringLiteral("question"), QStringLiteral("B ?")}, {QStringLiteral("posee"), QStringLiteral("oui")}}, 4, QJsonObject()}}).toArray();
        QCOMPARE(q.size(), 2);
        QCOMPARE(q.at(1).toObject().value(QStringLiteral("posee")).toBool(), true);
        QVERIFY(json(QStringLiteral("normaliserIssue"), {QStringLiteral("peut-être")}).isNull());
        QCOMPARE(json(QStringLiteral("normaliserIssue"), {QStringLiteral("lost")}).toObject().value(QStringLiteral("proposee")).toString(), QStringLiteral("perdu"));
        // Items as an object keyed by item, merged into what the contact knows: newer value wins.
        const QJsonObject entendu{{QStringLiteral("budget"), QJsonObject{{QStringLiteral("valeur"), QStringLiteral("20 k€")}}}, {QStringLiteral("douleur"), QString()}};
        QCOMPARE(json(QStringLiteral("normaliserQualificationEntendue"), {entendu}).toArray().size(), 1);
        const QJsonArray existants{QJsonObject{{QStringLiteral("item"), QStringLiteral("budget")}, {QStringLiteral("valeur"), QStringLiteral("10 k€")}, {QStringLiteral("date"), QStringLiteral("2026-11-01T10:00:00.000Z")}},
                                   QJsonObject{{QStringLiteral("item"), QStringLiteral("decideur")}, {QStringLiteral("valeur"), QStringLiteral("La DG")}, {QStringLiteral("date"), QStringLiteral("2026-11-01T10:00:00.000Z")}}};
        const QJsonArray fus = json(QStringLiteral("normaliserQualificationEntendue"), {entendu, QJsonObject{{QStringLiteral("existants"), existants}, {QStringLiteral("appelId"), QStringLiteral("a9")},
                                                                                                           {QStringLiteral("date"), QStringLiteral("2026-12-07T10:00:00.000Z")}}}).toArray();
        QCOMPARE(fus.size(), 2);
        QCOMPARE(fus.at(0).toObject().value(QStringLiteral("valeur")).toString(), QStringLiteral("20 k€"));
        QCOMPARE(fus.at(0).toObject().value(QStringLiteral("appelId")).toString(), QStringLiteral("a9"));
        QCOMPARE(fus.at(1).toObject().value(QStringLiteral("valeur")).toString(), QStringLiteral("La DG"));
    }

    void questionsDesAppels()
    {
        const QJsonArray marchent = json(QStringLiteral("questionsQuiMarchent")).toArray();
        QVERIFY(!marchent.isEmpty());
        QVERIFY(marchent.at(0).toObject().value(QStringLiteral("fois")).toInt() >= 1);
        QVERIFY(!marchent.at(0).toObject().value(QStringLiteral("cle")).toString().isEmpty());
        const QJsonObject analyse{{QStringLiteral("questionsOubliees"), QJsonArray{QStringLiteral("Quel budget ?"), QString()}}};
        QCOMPARE(json(QStringLiteral("questionsOubliees"), {analyse}).toArray(), QJsonArray{QStringLiteral("Quel budget ?")});
        QJsonObject appel = appelCourt();
        appel.insert(QStringLiteral("transcript"), QJsonArray{seg("vous", QStringLiteral("Et qui d'autre participe à la décision chez vous ?"), 5000, 8000)});
        const QJsonArray fav = json(QStringLiteral("questionsFavorites"), {appel}).toArray();
        QCOMPARE(fav.size(), 3);
        int posees = 0;
        for (const QJsonValue& f : fav)
            posees += f.toObject().value(QStringLiteral("posee")).toBool();
        QCOMPARE(posees, 1);
    }

    void demonstrationCoherente()
    {
        const QJsonObject s = json(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")}).toObject();
        const QJsonObject appel{{QStringLiteral("id"), QStringLiteral("demo")}, {QStringLiteral("contactId"), s.value(QStringLiteral("contactId"))},
                                {QStringLiteral("transcript"), s.value(QStringLiteral("tours"))}};
        const QString brute = m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("analyse"), json(QStringLiteral("payloadAnalyse"), {appel})}).valeur();
        const QJsonObject a = json(QStringLiteral("finaliserAnalyse"), {brute, appel}).toObject();
        QVERIFY(a.value(QStringLiteral("score")).toInt() > 40);
        QCOMPARE(a.value(QStringLiteral("qualification")).toArray().size(), 4);
        QVERIFY(a.value(QStringLiteral("objections")).toArray().size() >= 2);
        const QJsonObject d = json(QStringLiteral("analyseDemo")).toObject();
        QCOMPARE(d.value(QStringLiteral("crm")).toObject().value(QStringLiteral("etapeSuggeree")).toString(), QStringLiteral("decouverte"));
        QCOMPARE(d.value(QStringLiteral("meta")).toObject().value(QStringLiteral("source")).toString(), QStringLiteral("demo"));
        const QJsonObject prix = QJsonDocument::fromJson(m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("objection"),
            QJsonObject{{QStringLiteral("derniereProspect"), QStringLiteral("C'est un peu cher pour nous.")}}}).valeur().toUtf8()).object();
        QVERIFY(prix.value(QStringLiteral("reponse")).toString().contains(QStringLiteral("Par rapport à quoi")));
        QCOMPARE(m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("inconnue"), QJsonObject()}).valeur(), QString());
        const double express = m.appelerNombre(QStringLiteral("scoreExpress"), {QJsonObject{{QStringLiteral("transcript"), s.value(QStringLiteral("tours"))}}}).valeur();
        QVERIFY(express >= 60 && express <= 100);
        QCOMPARE(m.appelerNombre(QStringLiteral("scoreExpress"), {QJsonArray()}).valeur(), 0.0);
    }

    // The pre-call brief: task input, request body and output schema, the
    // canned answer of the demonstration route, the normalisers of its steps
    // and qualification.
    void payloadDuContact()
    {
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation"), QStringLiteral("Signer avant vendredi")));
        QCOMPARE(p.value(QStringLiteral("tache")).toString(), QStringLiteral("brief"));
        QCOMPARE(p.value(QStringLiteral("type")).toString(), QStringLiteral("negociation"));
        QCOMPARE(p.value(QStringLiteral("objectif")).toString(), QStringLiteral("Signer avant vendredi"));
        // Empty settings take the stored ones.
        QCOMPARE(p.value(QStringLiteral("langue")).toString(), QStringLiteral("fr"));
        QCOMPARE(p.value(QStringLiteral("methode")).toString(), QStringLiteral("aucune"));
        const QJsonObject contact = p.value(QStringLiteral("contact")).toObject();
        QCOMPARE(contact.value(QStringLiteral("societe")).toString(), QStringLiteral("Lumen Facility"));
        QCOMPARE(p.value(QStringLiteral("appelsPasses")).toArray().size(), 1);
        QCOMPARE(p.value(QStringLiteral("entreprise")).toObject().value(QStringLiteral("nom")).toString(), QStringLiteral("Tempora"));
        // The steps of the sales process that apply to a negotiation, and the qualification grid.
        QCOMPARE(p.value(QStringLiteral("etapes")).toArray().size(), 2);
        QCOMPARE(p.value(QStringLiteral("grille")).toObject().value(QStringLiteral("items")).toArray().size(), 4);
        QCOMPARE(p.value(QStringLiteral("parametres")).toObject().value(QStringLiteral("contactId")).toString(), QStringLiteral("c_garnier"));
    }

    void contactIntrouvable_data()
    {
        QTest::addColumn<QJsonValue>("entree");
        QTest::newRow("inconnu") << QJsonValue(parametres(QStringLiteral("c_absent"), QStringLiteral("suivi")));
        QTest::newRow("sans contact") << QJsonValue(parametres(QString(), QStringLiteral("suivi")));
        QTest::newRow("pas du JSON") << QJsonValue(QStringLiteral("brief"));
    }
    void contactIntrouvable()
    {
        QFETCH(QJsonValue, entree);
        auto r = m.appelerJSON(QStringLiteral("payloadBrief"), {entree});
        QVERIFY(!r);
        QCOMPARE(r.erreur().description(), QStringLiteral("Ce contact est introuvable : choisissez-en un autre pour préparer le brief."));
    }

    void corpsDeLaRequete()
    {
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        const QJsonObject r = json(QStringLiteral("requete"), {QStringLiteral("brief"), p, QString()}).toObject();
        const QJsonObject corps = r.value(QStringLiteral("corps")).toObject();
        QVERIFY(corps.value(QStringLiteral("max_tokens")).toInt() >= 2000);
        const QJsonArray messages = corps.value(QStringLiteral("messages")).toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.at(0).toObject().value(QStringLiteral("role")).toString(), QStringLiteral("user"));
        const QString contenu = messages.at(0).toObject().value(QStringLiteral("content")).toString();
        for (const QString& attendu : {QStringLiteral("APPEL À PRÉPARER"), QStringLiteral("Type d'appel : Négociation"), QStringLiteral("PROSPECT"),
                                       QStringLiteral("Sophie Garnier"), QStringLiteral("HISTORIQUE DU PROSPECT"), QStringLiteral("ENTREPRISE DU COMMERCIAL"),
                                       QStringLiteral("PROCESS DE VENTE DE L'ENTREPRISE POUR CET APPEL"), QStringLiteral("GRILLE DE QUALIFICATION"),
                                       QStringLiteral("déjà su : Comité de direction"), QStringLiteral("RÉPONSES PRÉPARÉES DE LA BIBLIOTHÈQUE"),
                                       QStringLiteral("QUESTIONS FAVORITES DU COMMERCIAL")})
            QVERIFY2(contenu.contains(attendu), qPrintable(attendu));

        // The output schema is the Brief record, every key required.
        const QJsonObject format = corps.value(QStringLiteral("output_config")).toObject().value(QStringLiteral("format")).toObject();
        QCOMPARE(format.value(QStringLiteral("type")).toString(), QStringLiteral("json_schema"));
        const QJsonObject schema = format.value(QStringLiteral("schema")).toObject();
        const QStringList attendues{QStringLiteral("pointsCles"), QStringLiteral("objectionsProbables"), QStringLiteral("questions"),
                                    QStringLiteral("objectifMesurable"), QStringLiteral("ouverture"), QStringLiteral("briefEtapes"),
                                    QStringLiteral("qualification")};
        QCOMPARE(cles(schema.value(QStringLiteral("required")).toArray()), attendues);
        QCOMPARE(schema.value(QStringLiteral("additionalProperties")).toBool(true), false);
        const QJsonObject props = schema.value(QStringLiteral("properties")).toObject();
        QCOMPARE(cles(props.value(QStringLiteral("objectionsProbables")).toObject().value(QStringLiteral("items")).toObject().value(QStringLiteral("required")).toArray()),
                 (QStringList{QStringLiteral("objection"), QStringLiteral("parade")}));
        QCOMPARE(cles(props.value(QStringLiteral("briefEtapes")).toObject().value(QStringLiteral("items")).toObject().value(QStringLiteral("required")).toArray()),
                 (QStringList{QStringLiteral("etapeId"), QStringLiteral("objectif"), QStringLiteral("questions"), QStringLiteral("transition")}));
        QCOMPARE(cles(props.value(QStringLiteral("qualification")).toObject().value(QStringLiteral("items")).toObject().value(QStringLiteral("required")).toArray()),
                 (QStringList{QStringLiteral("itemId"), QStringLiteral("nom"), QStringLiteral("connu"), QStringLiteral("manque"), QStringLiteral("question")}));
    }

    void langueEtRegistre_data()
    {
        QTest::addColumn<QString>("contact");
        QTest::addColumn<QString>("langue");
        QTest::addColumn<QString>("regle");
        QTest::addColumn<QString>("registre");
        QTest::newRow("français, vouvoiement") << "c_morel" << "fr" << "écrivez tout en français, phrases à dire comprises" << "vouvoient";
        QTest::newRow("anglais") << "c_morel" << "en" << "Écrivez en anglais tout ce que le commercial dit" << "vouvoient";
        QTest::newRow("tutoiement retenu") << "c_marchand" << "" << "écrivez tout en français" << "tutoient";
    }
    void langueEtRegistre()
    {
        QFETCH(QString, contact);
        QFETCH(QString, langue);
        QFETCH(QString, regle);
        QFETCH(QString, registre);
        const QJsonObject p = payload(parametres(contact, QStringLiteral("decouverte"), {}, langue));
        const QString systeme = json(QStringLiteral("requete"), {QStringLiteral("brief"), p, QStringLiteral("claude-opus-5-5")})
                                    .toObject().value(QStringLiteral("corps")).toObject().value(QStringLiteral("system")).toString();
        QVERIFY2(systeme.contains(regle), qPrintable(systeme));
        QVERIFY2(systeme.contains(registre), qPrintable(systeme));
    }

    void reponseDeDemonstration_data()
    {
        QTest::addColumn<QString>("contact");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("objectif");
        QTest::addColumn<QString>("objectifAttendu");
        QTest::addColumn<QString>("ouverture");
        QTest::newRow("négociation") << "c_garnier" << "negociation" << "" << "Trouver un accord validé par le décideur, sans remise sans contrepartie."
                                     << "Bonjour Sophie Garnier, ici Camille, de Tempora. Comme convenu";
        QTest::newRow("prospection") << "c_benali" << "prospection" << "Décrocher un rendez-vous" << "Décrocher un rendez-vous."
                                     << "Bonjour Karim Benali, ici Camille, de Tempora. Avez-vous deux minutes ?";
        QTest::newRow("tutoiement") << "c_marchand" << "demo" << "" << "Faire valider deux points montrés qui répondent aux douleurs dites, puis fixer la suite datée."
                                    << "Bonjour Élodie, c'est Camille, de Tempora.";
    }
    void reponseDeDemonstration()
    {
        QFETCH(QString, contact);
        QFETCH(QString, type);
        QFETCH(QString, objectif);
        const QJsonObject p = payload(parametres(contact, type, objectif));
        auto texte = m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("brief"), p});
        QVERIFY(texte);
        const std::optional<vd::model::Brief> b = vd::model::Brief::depuisJson(QJsonValue(objetDe(texte.valeur())));
        QVERIFY(b);
        QVERIFY(b->pointsCles.size() >= 3);
        QVERIFY(b->objectionsProbables.size() >= 2);
        for (const auto& o : b->objectionsProbables)
            QVERIFY(!o.objection.isEmpty() && !o.parade.isEmpty());
        QVERIFY(b->questions.size() >= 3);
        QTEST(b->objectifMesurable, "objectifAttendu");
        QFETCH(QString, ouverture);
        QVERIFY2(b->ouverture.startsWith(ouverture), qPrintable(b->ouverture));
        QCOMPARE(b->briefEtapes.size(), p.value(QStringLiteral("etapes")).toArray().size());
        QCOMPARE(b->qualification.size(), 4);
        QVERIFY(b->pointsCles.first().contains(p.value(QStringLiteral("contact")).toObject().value(QStringLiteral("societe")).toString()));
    }

    void demonstrationSaitCeQuiEstConnu()
    {
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        const auto b = vd::model::Brief::depuisJson(QJsonValue(objetDe(m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("brief"), p}).valeur())));
        QVERIFY(b);
        QCOMPARE(b->qualification.at(2).itemId, QStringLiteral("decideur"));
        QCOMPARE(b->qualification.at(2).connu, QStringLiteral("Comité de direction ; Sophie Garnier porte le dossier"));
        // Its stored objection answer comes from the library, not a generic line.
        QCOMPARE(b->objectionsProbables.first().objection, QStringLiteral("C'est trop cher."));
        QVERIFY(b->objectionsProbables.first().parade.startsWith(QStringLiteral("Je comprends. Par rapport à quoi ?")));
    }

    // Apostrophes in raw strings are written \u0027: the moc of Qt 6.4 misreads a raw string holding one.
    void normaliserEtapes_data()
    {
        QTest::addColumn<QString>("reponse");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("premierObjectif");
        QTest::newRow("ordre du process") << R"({"briefEtapes":[{"etapeId":"closing","objectif":"Signer","questions":["Quand ?"],"transition":""},
                                              {"etapeId":"negociation","objectif":"Tenir le prix","questions":"Qu\u0027est-ce qui bloque ?","transition":"Parlons valeur."}]})"
                                          << QStringList{"negociation", "closing"} << "Tenir le prix";
        QTest::newRow("étape inconnue écartée") << R"([{"etapeId":"demo","objectif":"Montrer"},{"etapeId":"closing","objectif":"Signer"}])"
                                                << QStringList{"closing"} << "Signer";
        QTest::newRow("retrouvée par son nom, objectif repris") << R"([{"etapeId":"Négociation","questions":["Et le prix ?"]}])"
                                                                << QStringList{"negociation"} << "Trouver un accord sans baisser le prix, en recadrant sur la valeur.";
        QTest::newRow("doublon et vide") << R"([{"etapeId":"closing","objectif":"A"},{"etapeId":"closing","objectif":"B"},{"etapeId":"negociation"}])"
                                         << QStringList{"closing"} << "A";
        QTest::newRow("objet indexé") << R"({"briefEtapes":{"closing":{"objectif":"Signer"}}})" << QStringList{"closing"} << "Signer";
        QTest::newRow("illisible") << "pas du JSON" << QStringList{} << "";
    }
    void normaliserEtapes()
    {
        QFETCH(QString, reponse);
        QFETCH(QStringList, ids);
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        const QJsonArray a = json(QStringLiteral("normaliserBriefEtapes"), {reponse, p}).toArray();
        QStringList lus;
        for (const QJsonValue& v : a) {
            lus << v.toObject().value(QStringLiteral("etapeId")).toString();
            QVERIFY(v.toObject().value(QStringLiteral("questions")).isArray());
        }
        QCOMPARE(lus, ids);
        if (!a.isEmpty())
            QTEST(a.first().toObject().value(QStringLiteral("objectif")).toString(), "premierObjectif");
    }

    void normaliserQualification_data()
    {
        QTest::addColumn<QString>("reponse");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QStringList>("noms");
        QTest::newRow("ordre de la grille") << R"({"qualification":[{"itemId":"budget","nom":"","connu":"","manque":"Le montant","question":"Quel budget ?"},
                                                {"itemId":"douleur","nom":"Pain","connu":"Les urgences","manque":"","question":""}]})"
                                            << QStringList{"douleur", "budget"} << QStringList{"Douleur", "Budget"};
        QTest::newRow("item retrouvé par son nom") << R"([{"item":"x","nom":"Échéance","connu":"","manque":"La date","question":"Pour quand ?"}])"
                                                   << QStringList{"echeance"} << QStringList{"Échéance"};
        QTest::newRow("hors grille et vide écartés") << R"([{"itemId":"champion","nom":"Champion","manque":"Tout"},{"itemId":"budget"}])"
                                                     << QStringList{} << QStringList{};
        QTest::newRow("objet indexé") << R"({"qualification":{"decideur":{"connu":"Le comité"}}})" << QStringList{"decideur"} << QStringList{"Décideur"};
    }
    void normaliserQualification()
    {
        QFETCH(QString, reponse);
        QFETCH(QStringList, ids);
        QFETCH(QStringList, noms);
        const QJsonObject p = payload(parametres(QStringLiteral("c_garnier"), QStringLiteral("negociation")));
        QStringList lusIds, lusNoms;
        for (const QJsonValue& v : json(QStringLiteral("normaliserBriefQualification"), {reponse, p}).toArray()) {
            lusIds << v.toObject().value(QStringLiteral("itemId")).toString();
            lusNoms << v.toObject().value(QStringLiteral("nom")).toString();
        }
        QCOMPARE(lusIds, ids);
        QCOMPARE(lusNoms, noms);
    }

    void normalisationSansContexte()
    {
        // Without the task input, any step or item with content is kept as given.
        const QJsonArray e = json(QStringLiteral("normaliserBriefEtapes"), {QStringLiteral(R"([{"etapeId":"libre","objectif":"X"},{"objectif":"sans id"}])")}).toArray();
        QCOMPARE(e.size(), 1);
        QCOMPARE(e.at(0).toObject().value(QStringLiteral("etapeId")).toString(), QStringLiteral("libre"));
        const QJsonArray q = json(QStringLiteral("normaliserBriefQualification"), {QStringLiteral(R"([{"nom":"Autorité","manque":"Qui signe"}])")}).toArray();
        QCOMPARE(q.size(), 1);
        QCOMPARE(q.at(0).toObject().value(QStringLiteral("itemId")).toString(), QStringLiteral("autorite"));
    }
};

QTEST_GUILESS_MAIN(TstMoteurAnalyse)
#include "tst_moteur_analyse.moc"
