// The follow-up rules of the shipped moteur.js, through the real host: working
// days, plans from a rhythm, the long tail, sleep, stop rules, replies, links.
#include "moteur_commun.h"

using namespace vd::ai;
using namespace vd::tests;

namespace {

QJsonArray rythme(const QList<int>& jours)
{
    QJsonArray a;
    for (int j : jours)
        a.append(j);
    return a;
}

QJsonObject etape(const char* id, const char* date, int jour, const char* statut = "a_venir")
{
    return {{"id", id}, {"date", date}, {"jour", jour}, {"canal", "email"}, {"statut", statut}, {"message", "Bonjour"}};
}

QJsonObject sequence(const char* statut, const QJsonArray& etapes, const char* appelId = "a1", const char* dateAppel = "2026-12-04")
{
    return {{"statut", statut}, {"etapes", etapes}, {"appelId", appelId}, {"dateAppel", dateAppel}, {"puisTousLes", 3}};
}

} // namespace

class TstMoteurRelances : public QObject, AvecMoteur {
    Q_OBJECT

    QString texte(const QString& f, const Moteur::Arguments& a)
    {
        auto r = m.appeler(f, a);
        return r && r.valeur().type == ValeurJS::Type::texte ? r.valeur().texte : QStringLiteral("<rien>");
    }
    static QStringList dates(const QJsonValue& seq) { return liste(seq["etapes"], "date"); }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(qEnvironmentVariable("TZ"), QStringLiteral("Europe/Paris"));
        QVERIFY(!m.charger());
    }

    void jourOuvre()
    {
        const QList<QStringList> cas{   // the date, the step before it if any, the working day
            {"2026-12-03", "", "2026-12-03"},   // a Thursday stays
            {"2026-12-05", "", "2026-12-07"},   // Saturday, Sunday: the Monday
            {"2026-12-06", "", "2026-12-07"},
            {"2033-12-31", "", "2034-01-02"},   // end of year on a Saturday
            {"2027-01-31", "", "2027-02-01"},   // end of month on a Sunday
            {"2026-12-08", "2026-12-08", "2026-12-09"},   // pushed by the step before
            {"2026-12-08", "2026-12-10", "2026-12-11"},
            {"2026-12-10", "2026-12-11", "2026-12-14"},   // pushed to a Friday: the Monday
            {"2026-12-03T23:30:00Z", "", "2026-12-04"},   // late UTC is the next day in Paris
        };
        for (const QStringList& c : cas)
            QCOMPARE(c.mid(0, 2) << texte("jourOuvre", {c[0], c[1].isEmpty() ? QJsonValue() : QJsonValue(c[1])}), c);
    }

    // The day of the call and a rhythm: the dates of the steps and their day numbers.
    void plan()
    {
        auto cas = [this](const char* dateAppel, const QList<int>& jours, const QStringList& dates, const QStringList& numeros) {
            const QJsonValue s = json("planRelances", {QJsonObject{{"dateAppel", dateAppel}, {"reglages", QJsonObject{{"rythme", rythme(jours)}}},
                                                                   {"appelId", "a1"}, {"contact", QJsonObject{{"prenom", "Léa"}, {"email", "lea@x.fr"}}}}});
            QCOMPARE(dateAppel + (" " + this->dates(s).join(',') + " " + liste(s["etapes"], "jour").join(',')),
                     dateAppel + (" " + dates.join(',') + " " + numeros.join(',')));
            QCOMPARE(champs(s, {"statut", "appelId"}), QStringLiteral("proposee | a1"));
            QVERIFY(s["etapes"][0]["message"].toString().startsWith("Bonjour Léa,"));
        };
        cas("2026-12-04", {1, 3}, {"2026-12-07", "2026-12-08"}, {"3", "4"});    // a Friday
        cas("2026-12-03", {1, 2}, {"2026-12-04", "2026-12-07"}, {"1", "4"});    // a Thursday: Friday then Monday
        cas("2026-12-05", {1, 2}, {"2026-12-07", "2026-12-08"}, {"2", "3"});    // a Saturday: Monday then Tuesday
        cas("2027-01-29", {1, 3, 30}, {"2027-02-01", "2027-02-02", "2027-03-01"}, {"3", "4", "31"});   // end of month
        cas("2026-12-30", {1, 2, 3}, {"2026-12-31", "2027-01-01", "2027-01-04"}, {"1", "2", "5"});     // end of year
    }

    void planParTypeEtLongues()
    {
        const QJsonObject reglages{{"rythme", rythme({1, 30})}, {"parType", QJsonObject{{"closing", rythme({1, 2})}}}};
        const QJsonObject s = json("planRelances", {QJsonObject{{"dateAppel", "2026-12-01"}, {"type", "closing"}, {"reglages", reglages}}}).toObject();
        QCOMPARE(dates(s), (QStringList{"2026-12-02", "2026-12-03"}));
        const QJsonObject d = json("planRelances", {QJsonObject{{"dateAppel", "2026-12-01"}, {"type", "decouverte"}, {"reglages", reglages}}}).toObject();
        QCOMPARE(dates(d), (QStringList{"2026-12-02", "2026-12-31"}));
        // A long step is written the day before it is due, not with the proposal.
        QCOMPARE(d.value("etapes").toArray().at(1).toObject().value("message").toString(), QString());
        QCOMPARE(json("etapesAEcrire", {d, "2026-12-31"}).toArray().size(), 0);   // not active yet
        QJsonObject active = d;
        active.insert("statut", "active");
        QCOMPARE(json("etapesAEcrire", {active, "2026-12-30"}).toArray().size(), 0);
        QCOMPARE(json("etapesAEcrire", {active, "2026-12-31"}).toArray().size(), 1);
        // Without an e-mail address but with a phone, WhatsApp is proposed.
        const QJsonObject w = json("planRelances", {QJsonObject{{"dateAppel", "2026-12-01"}, {"contact", QJsonObject{{"tel", "06 12 34 56 78"}}}}}).toObject();
        QCOMPARE(champs(w, {"etapes.0.canal", "etapes.length"}), QStringLiteral("whatsapp | 7"));   // default rhythm J+1 … J+90
    }

    void rythmes()
    {
        QStringList lus;
        for (const char* saisie : {"1, 3, 7", "7,1,3,3", "J+1, J+3", "1, deux", "0, 2", " ", "-1"}) {
            auto r = m.appeler("lireRythme", {QString::fromUtf8(saisie)});
            lus << (!r ? QStringLiteral("<échec>") : r.valeur().type == ValeurJS::Type::texte ? r.valeur().texte : QStringLiteral("null"));
        }
        QCOMPARE(lus, (QStringList{"[1,3,7]", "[1,3,7]", "[1,3]", "null", "null", "null", "null"}));
    }

    void longueTraine()
    {
        const QJsonObject s = sequence("active", {etape("e1", "2027-01-29", 90)});
        // Every 3 months after the last step, working days only; display bounded.
        QCOMPARE(json("apercuSuiteRelance", {s, 3}).toArray(), (QJsonArray{"2027-04-29", "2027-07-29", "2027-10-29"}));
        QCOMPARE(json("apercuSuiteRelance", {s, 50}).toArray().size(), 6);
        QJsonObject fin = sequence("active", {etape("e1", "2026-11-30", 90)});
        QCOMPARE(json("apercuSuiteRelance", {fin, 1}).toArray(), (QJsonArray{"2027-03-01"}));   // 28 Feb 2027 is a Sunday
    }

    void statutsEtListeDuJour()
    {
        const QJsonObject s = sequence("active", {etape("e1", "2026-12-03", 1), etape("e2", "2026-12-07", 3), etape("e3", "2026-12-08", 4),
                                                  etape("e0", "2026-12-02", 0, "envoyee")});
        QCOMPARE(liste(json("statutsRelance", {s, "2026-12-07"})["etapes"], "statut"), (QStringList{"envoyee", "en_retard", "a_venir", "a_venir"}));

        const QJsonArray contacts{
            QJsonObject{{"id", "c1"}, {"prenom", "Zoé"}, {"relance", s}},
            QJsonObject{{"id", "c2"}, {"prenom", "Anne"}, {"relance", sequence("active", {etape("x", "2026-12-07", 1)})}},
            QJsonObject{{"id", "c3"}, {"prenom", "Arrêtée"}, {"relance", sequence("arretee", {etape("y", "2026-12-07", 1)})}},
            QJsonObject{{"id", "c4"}, {"prenom", "Proposée"}, {"relance", sequence("proposee", {etape("z", "2026-12-07", 1)})}}};
        const QJsonArray l = json("relancesDuJour", {QJsonObject{{"contacts", contacts}, {"aujourdhui", "2026-12-07"}}}).toArray();
        QStringList ordre;
        for (const QJsonValue& v : l)
            ordre << v.toObject().value("contactId").toString() + "/" + v.toObject().value("etapeId").toString()
                         + (v.toObject().value("enRetard").toBool() ? "!" : "");
        QCOMPARE(ordre, (QStringList{"c1/e1!", "c2/x", "c1/e2"}));
    }

    void evenements()
    {
        const QJsonObject s = sequence("active", {etape("e1", "2026-12-07", 3)});
        QJsonObject gagnee = s;
        gagnee.insert("issue", "gagne");
        auto ev = [](const QJsonObject& seq, const char* e, const char* appel = "", const char* date = "", const char* etapeContact = "") {
            return QJsonObject{{"sequence", seq}, {"evenement", e}, {"appelId", appel}, {"dateAppel", date}, {"etape", etapeContact}};
        };
        auto cas = [this](const char* nom, const QJsonObject& entree, const char* attendu) {   // stopped or not, and why
            const QJsonValue r = json("relanceEvenement", {entree});
            QCOMPARE(nom + QStringLiteral(": ") + (r["arreter"].toBool() ? "true " : "false ") + r["raison"].toString(), nom + (": " + QString::fromUtf8(attendu)));
        };
        cas("nouvel appel", ev(s, "nouvel_appel", "a2", "2026-12-06T10:00:00Z"), "true nouvel_appel");
        cas("appel d'origine rejoué", ev(s, "nouvel_appel", "a1", "2026-12-06"), "false ");
        cas("appel plus ancien", ev(s, "nouvel_appel", "a0", "2026-12-01"), "false ");
        cas("perdu", ev(s, "etape", "", "", "perdu"), "true perdu");
        cas("gagné", ev(s, "etape", "", "", "gagne"), "true gagne");
        cas("gagné, séquence d'affaire gagnée", ev(gagnee, "etape", "", "", "gagne"), "false ");
        cas("perdu, séquence d'affaire gagnée", ev(gagnee, "etape", "", "", "perdu"), "true perdu");
        cas("autre étape", ev(s, "etape", "", "", "negociation"), "false ");
        cas("déjà arrêtée", ev(sequence("arretee", {}), "etape", "", "", "perdu"), "false ");
    }

    void libelles()
    {
        QStringList l;
        for (const QJsonValue& raison : {QJsonValue(), QJsonValue("gagne"), QJsonValue("perdu"), QJsonValue("nouvel_appel"), QJsonValue("reponse"), QJsonValue("xyz")})
            l << texte("libellesArret", {raison});
        QCOMPARE(l, (QStringList{"Arrêtée à la main", "Affaire gagnée", "Affaire perdue", "Nouvel appel avec ce contact", "Le prospect a répondu",
                                 "Arrêtée à la main"}));
    }

    void envoiAnnulationEtCompletion()
    {
        QJsonValue s = sequence("active", {etape("e1", "2026-12-07", 3), etape("e2", "2026-12-08", 4)});
        s = json("envoyerEtapeRelance", {s, "e1", QJsonObject{{"canal", "email"}, {"le", "2026-12-07T09:00:00Z"}, {"interactionId", "i1"}}});
        QCOMPARE(s.toObject().value("statut").toString(), QStringLiteral("active"));
        s = json("envoyerEtapeRelance", {s, "e2", QJsonObject{{"canal", "note"}, {"le", "2026-12-08T09:00:00Z"}, {"interactionId", "i2"}}});
        QCOMPARE(s.toObject().value("statut").toString(), QStringLiteral("terminee"));
        s = json("annulerEnvoiRelance", {s, "e2", "2026-12-08"});
        QCOMPARE(champs(s, {"statut", "etapes.1.statut", "etapes.1.interactionId", "termineeLe"}), QStringLiteral("active | a_venir | undefined | undefined"));
        QVERIFY(!m.appelerJSON("envoyerEtapeRelance", {s, "inconnue", QJsonObject{}}));   // unknown step refused
    }

    void modifierSupprimerCanal()
    {
        QJsonValue s = sequence("active", {etape("e1", "2026-12-07", 3), etape("e2", "2026-12-08", 4), etape("e3", "2026-12-09", 5, "envoyee")});
        s = json("modifierEtapeRelance", {s, "e1", QJsonObject{{"date", "2026-12-10"}, {"message", "Nouveau"}}});
        QCOMPARE(dates(s), (QStringList{"2026-12-08", "2026-12-09", "2026-12-10"}));   // re-sorted
        QCOMPARE(s["etapes"][2]["jour"].toInt(), 6);
        s = json("changerCanalRelance", {s, "whatsapp"});
        QCOMPARE(liste(s["etapes"], "canal"), (QStringList{"whatsapp", "email", "whatsapp"}));   // the sent step keeps its channel
        s = json("supprimerEtapeRelance", {s, "e1", "2026-12-07T10:00:00Z"});
        QCOMPARE(s.toObject().value("statut").toString(), QStringLiteral("active"));
        s = json("supprimerEtapeRelance", {s, "e2", "2026-12-07T10:00:00Z"});
        QCOMPARE(s.toObject().value("statut").toString(), QStringLiteral("arretee"));   // nothing left to send
        QVERIFY(s.toObject().value("raisonArret").isNull());
    }

    void sommeil()
    {
        const QJsonObject s = sequence("active", {etape("e1", "2026-12-07", 3), etape("e2", "2026-12-18", 14), etape("e3", "2027-01-04", 31)});
        const QJsonObject c{{"id", "c1"}, {"etape", "proposition"}, {"relance", s}};
        QCOMPARE(m.appelerBooleen("doitPasserEnSommeil", {c, "2026-12-20"}).valeur(), false);
        QCOMPARE(m.appelerBooleen("doitPasserEnSommeil", {c, "2026-12-21"}).valeur(), true);
        const QJsonValue dort = json("passerEnSommeil", {c, "2026-12-21T09:00:00Z"});
        QCOMPARE(champs(dort, {"etape", "etapeAvantSommeil"}), QStringLiteral("sommeil | proposition"));
        QCOMPARE(m.appelerBooleen("doitPasserEnSommeil", {dort, "2026-12-22"}).valeur(), false);
        QCOMPARE(champs(json("reveilApresAppel", {dort}), {"etape", "sommeilLe"}), QStringLiteral("proposition | undefined"));
    }

    void reponses()
    {
        const QJsonObject s = sequence("active", {etape("e1", "2026-12-03", 1, "envoyee"), etape("e2", "2026-12-08", 4)});
        const QJsonObject c{{"id", "c1"}, {"etape", "sommeil"}, {"etapeAvantSommeil", "demo"}, {"relance", s}};
        const QJsonObject opt{{"maintenant", "2026-12-07T10:00:00Z"}, {"aujourdhui", "2026-12-07"}};

        // An answer takes the contact out of sleep.
        const QJsonValue i = json("contactApresReponse", {c, QJsonObject{{"type", "interesse"}}, opt});
        QCOMPARE(champs(i, {"etape", "relance.statut", "relance.raisonArret"}), QStringLiteral("demo | arretee | reponse"));
        // A Saturday becomes the Monday.
        const QJsonValue ps = json("contactApresReponse", {c, QJsonObject{{"type", "pas_maintenant"}, {"reprise", "2027-03-06"}}, opt})["relance"];
        QCOMPARE(champs(ps, {"statut", "reponse.reprise"}), QStringLiteral("active | 2027-03-08"));
        QCOMPARE(dates(ps), (QStringList{"2026-12-03", "2027-03-08", "2027-06-08", "2027-09-08"}));
        QVERIFY(!m.appelerJSON("contactApresReponse", {c, QJsonObject{{"type", "pas_maintenant"}}, opt}));   // no date: refused

        const QJsonValue n = json("contactApresReponse", {c, QJsonObject{{"type", "pas_interesse"}, {"raison", "Pas le budget"}}, opt});
        QCOMPARE(n["relance"]["reponse"]["raison"].toString(), QStringLiteral("Pas le budget"));
        QVERIFY(!m.appelerJSON("contactApresReponse", {c, QJsonObject{{"type", "pas_interesse"}, {"raison", "  "}}, opt}));
        QVERIFY(!m.appelerJSON("contactApresReponse", {c, QJsonObject{{"type", "peut_etre"}}, opt}));
    }

    void liens()
    {
        auto cas = [this](const char* nom, const char* fonction, const QJsonObject& entree, const char* attendu) {
            QCOMPARE(nom + (": " + texte(fonction, {entree})), nom + (": " + QString::fromUtf8(attendu)));
        };
        cas("mailto encodé", "lienEmail", QJsonObject{{"email", "lea@x.fr"}, {"objet", "Un point & plus ?"}, {"message", "Ligne 1\nLigne 2"}}, "mailto:lea@x.fr?subject=Un%20point%20%26%20plus%20%3F&body=Ligne%201%0ALigne%202");
        cas("adresse piégée", "lienEmail", QJsonObject{{"email", "lea@x.fr?bcc=tous@y.fr"}, {"objet", "a"}}, "<rien>");
        cas("adresse avec &", "lienEmail", QJsonObject{{"email", "a&b@x.fr"}}, "<rien>");
        cas("sans adresse", "lienEmail", QJsonObject{{"objet", "a"}}, "<rien>");
        cas("whatsapp 06", "lienWhatsApp", QJsonObject{{"telephone", "06 12 34 56 78"}, {"message", "Bonjour & merci"}}, "https://wa.me/33612345678?text=Bonjour%20%26%20merci");
        cas("whatsapp +33 7", "lienWhatsApp", QJsonObject{{"telephone", "+33 7 12 34 56 78"}, {"message", ""}}, "https://wa.me/33712345678?text=");
        cas("fixe refusé", "lienWhatsApp", QJsonObject{{"telephone", "01 45 67 89 10"}}, "<rien>");
        cas("étranger", "lienWhatsApp", QJsonObject{{"telephone", "+44 7911 123456"}}, "https://wa.me/447911123456?text=");
    }

    void redaction()
    {
        QJsonObject s = sequence("active", {etape("e1", "2026-12-07", 31)});
        const QJsonObject p = json("payloadRedaction", {QJsonObject{{"sequence", s}, {"etapeId", "e1"},
                                                                    {"reglages", QJsonObject{{"nouveautes", QJsonArray{QJsonObject{{"id", "n1"}, {"date", "2026-11-01"}, {"texte", "Vieux"}},
                                                                                                                       QJsonObject{{"id", "n2"}, {"date", "2026-12-01"}, {"texte", "Récent"}}}}}}}}).toObject();
        QCOMPARE(p["nouveaute"]["texte"].toString(), QStringLiteral("Récent"));
        const QJsonValue r = json("appliquerRedaction", {s, "e1", QJsonObject{{"objet", "Du nouveau"}, {"message", " Texte "}}});
        QCOMPARE(r["etapes"][0]["message"].toString(), QStringLiteral("Texte"));
        QVERIFY(!m.appelerJSON("appliquerRedaction", {s, "e1", QJsonObject{{"message", ""}}}));   // empty text refused
    }
};

QTEST_GUILESS_MAIN(TstMoteurRelances)
#include "tst_moteur_relances.moc"
