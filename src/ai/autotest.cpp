#include "autotest.h"

#include "model/appel.h"
#include "model/etat.h"
#include "moteur.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vd::ai {

namespace {

using Verif = std::function<QString()>;   // empty when the check passes, else why it failed


QString echecDe(const ErreurMoteur& e) { return e.description(); }

// Demonstration state with the settings the checks need.
QJsonObject etatEssai(Moteur& m, const QString& modeleAnalyse)
{
    auto etat = m.appelerJSON(QStringLiteral("etatDemo"), {QStringLiteral("2026-12-07T09:00:00")});
    QJsonObject o = etat ? etat.valeur().toObject() : QJsonObject();
    QJsonObject reglages = o.value(QStringLiteral("reglages")).toObject();
    QJsonObject modeles = reglages.value(QStringLiteral("modeles")).toObject();
    modeles.insert(QStringLiteral("analyse"), modeleAnalyse);
    reglages.insert(QStringLiteral("modeles"), modeles);
    o.insert(QStringLiteral("reglages"), reglages);
    return o;
}

QJsonObject segment(const char* locuteur, const QString& texte, int debut, int fin, int interlocuteur = 0)
{
    QJsonObject s{{QStringLiteral("locuteur"), QString::fromLatin1(locuteur)}, {QStringLiteral("texte"), texte},
                  {QStringLiteral("debutMs"), debut}, {QStringLiteral("finMs"), fin}};
    if (interlocuteur > 0)
        s.insert(QStringLiteral("interlocuteur"), interlocuteur);
    return s;
}

// A finished call with everything the analysis must keep.
QJsonObject appelEssai()
{
    QJsonArray transcript{
        segment("vous", QStringLiteral("Bonjour Monsieur Morel. Comment gérez-vous vos plannings aujourd'hui ?"), 0, 4000),
        segment("prospect", QStringLiteral("Sur un tableur, et on perd un temps fou à chaque urgence."), 4800, 9000),
        segment("vous", QStringLiteral("Qu'est-ce que ce problème vous coûte, en temps ou en argent ?"), 9800, 13000),
        segment("prospect", QStringLiteral("Dix heures par semaine. Mais votre offre est un peu chère pour nous."), 13600, 19000),
        segment("prospect", QStringLiteral("Et il faudra que je voie avec ma directrice, c'est elle qui signe."), 19500, 23000, 2),
        segment("vous", QStringLiteral("Je comprends. Par rapport à quoi ? Dix heures par semaine, ça fait combien sur un an ?"), 23800, 28000),
        segment("prospect", QStringLiteral("Vu comme ça, ça se discute. On se revoit jeudi."), 28600, 32000),
    };
    return QJsonObject{
        {QStringLiteral("id"), QStringLiteral("autotest")}, {QStringLiteral("contactId"), QStringLiteral("c_morel")},
        {QStringLiteral("type"), QStringLiteral("decouverte")}, {QStringLiteral("methode"), QStringLiteral("aucune")},
        {QStringLiteral("langue"), QStringLiteral("fr")}, {QStringLiteral("debut"), QStringLiteral("2026-12-07T09:00:00.000Z")},
        {QStringLiteral("duree"), 32}, {QStringLiteral("statut"), QStringLiteral("analyse")}, {QStringLiteral("transcript"), transcript},
        {QStringLiteral("detections"), QJsonArray{QJsonObject{{QStringLiteral("tMs"), 13600}, {QStringLiteral("categorie"), QStringLiteral("prix")},
                                                               {QStringLiteral("extrait"), QStringLiteral("votre offre est un peu chère pour nous")}}}},
        {QStringLiteral("aides"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("a1")}, {QStringLiteral("tache"), QStringLiteral("objection")},
                                                          {QStringLiteral("tMs"), 20000}, {QStringLiteral("demande"), QString()},
                                                          {QStringLiteral("resultat"), QJsonObject{{QStringLiteral("reponse"), QStringLiteral("Par rapport à quoi ?")}}}}}},
        {QStringLiteral("momentsMarques"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("mm_9000")}, {QStringLiteral("tMs"), 9000},
                                                                   {QStringLiteral("note"), QStringLiteral("Douleur chiffrée")}}}},
        {QStringLiteral("prochaineEtape"), QJsonObject{{QStringLiteral("texte"), QStringLiteral("Démo avec la directrice jeudi à 11 h")},
                                                        {QStringLiteral("echeance"), QStringLiteral("2026-12-10")}}},
    };
}

const QStringList ordrePhases = {QStringLiteral("prospection"), QStringLiteral("decouverte"), QStringLiteral("demo"),
                                 QStringLiteral("negociation"), QStringLiteral("closing"), QStringLiteral("upsell")};
int rangPhase(const QString& p)
{
    if (p == QLatin1String("suivi"))
        return 2;
    if (p == QLatin1String("retention"))
        return 5;
    return int(ordrePhases.indexOf(p));
}

} // namespace

ResultatAutotest autotestMoteur(Moteur& m, const std::function<void(const QString&)>& ecrire)
{
    ResultatAutotest r;
    const QJsonObject appel = appelEssai();
    const QString modeleAnalyse = QStringLiteral("claude-opus-5-5");

    const QList<std::pair<QString, Verif>> verifs = {
        {QStringLiteral("Le moteur se charge"),
         [&]() -> QString {
             auto e = m.charger();
             return e ? QStringLiteral("Le moteur n'a pas pu démarrer. ") + *e : QString();
         }},
        {QStringLiteral("chargerEtat reçoit l'état sans rien rendre, sans échec"),
         [&]() -> QString {
             auto v = m.appeler(QStringLiteral("chargerEtat"), {etatEssai(m, modeleAnalyse)});
             return v ? QString() : echecDe(v.erreur());
         }},
        {QStringLiteral("Les vocabulaires et les grilles BANT, MEDDIC et SONCAS sont là"),
         [&]() -> QString {
             QStringList ids;
             for (const QJsonValue& g : m.donnee(QStringLiteral("GRILLES_QUALIFICATION")).toArray())
                 ids << g.toObject().value(QStringLiteral("id")).toString();
             if (ids != QStringList{QStringLiteral("bant"), QStringLiteral("meddic"), QStringLiteral("soncas")})
                 return QStringLiteral("grilles : ") + ids.join(QLatin1Char(','));
             if (!m.donnee(QStringLiteral("TACHES_LIVE")).toArray().contains(QStringLiteral("objection")))
                 return QStringLiteral("TACHES_LIVE sans « objection »");
             return {};
         }},
        {QStringLiteral("Une aide en direct sur une objection utilise claude-haiku-4-5 avec un format de sortie"),
         [&]() -> QString {
             auto ctx = m.appelerTexte(QStringLiteral("contexteAppel"), {QJsonObject{{QStringLiteral("contactId"), QStringLiteral("c_morel")},
                                                                                    {QStringLiteral("type"), QStringLiteral("decouverte")}}});
             if (!ctx)
                 return echecDe(ctx.erreur());
             auto p = m.appelerTexte(QStringLiteral("payloadLive"), {QStringLiteral("objection"), ctx.valeur(), appel.value(QStringLiteral("transcript")),
                                                                    QJsonArray(), QJsonValue::Null, QString(), 180});
             if (!p)
                 return echecDe(p.erreur());
             for (const QString& modele : {QStringLiteral("claude-haiku-4-5"), QString()}) {
                 auto q = m.appelerJSON(QStringLiteral("requete"), {QStringLiteral("objection"), p.valeur(), modele});
                 if (!q)
                     return echecDe(q.erreur());
                 const QJsonObject corps = q.valeur().toObject().value(QStringLiteral("corps")).toObject();
                 if (corps.value(QStringLiteral("model")).toString() != QLatin1String("claude-haiku-4-5"))
                     return QStringLiteral("modèle : ") + corps.value(QStringLiteral("model")).toString();
                 if (!corps.value(QStringLiteral("output_config")).toObject().value(QStringLiteral("format")).isObject())
                     return QStringLiteral("pas de format de sortie");
             }
             return {};
         }},
        {QStringLiteral("L'analyse utilise le modèle d'analyse des réglages, sans format de sortie"),
         [&]() -> QString {
             auto p = m.appelerTexte(QStringLiteral("payloadAnalyse"), {appel});
             if (!p)
                 return echecDe(p.erreur());
             for (const QString& modele : {modeleAnalyse, QString()}) {
                 auto q = m.appelerJSON(QStringLiteral("requete"), {QStringLiteral("analyse"), p.valeur(), modele});
                 if (!q)
                     return echecDe(q.erreur());
                 const QJsonObject corps = q.valeur().toObject().value(QStringLiteral("corps")).toObject();
                 if (corps.value(QStringLiteral("model")).toString() != modeleAnalyse)
                     return QStringLiteral("modèle : ") + corps.value(QStringLiteral("model")).toString();
                 if (corps.value(QStringLiteral("output_config")).toObject().contains(QStringLiteral("format")))
                     return QStringLiteral("un format de sortie est demandé");
             }
             return {};
         }},
        {QStringLiteral("Le payload et le prompt d'analyse gardent la prochaine étape, les moments marqués, les questions favorites et le process de vente"),
         [&]() -> QString {
             auto p = m.appelerJSON(QStringLiteral("payloadAnalyse"), {appel});
             if (!p)
                 return echecDe(p.erreur());
             const QJsonObject o = p.valeur().toObject();
             if (o.value(QStringLiteral("prochaineEtape")).toObject().value(QStringLiteral("texte")).toString() != QStringLiteral("Démo avec la directrice jeudi à 11 h"))
                 return QStringLiteral("prochaine étape absente du payload");
             if (o.value(QStringLiteral("momentsMarques")).toArray().size() != 1)
                 return QStringLiteral("moments marqués absents du payload");
             if (o.value(QStringLiteral("questionsFavorites")).toArray().isEmpty())
                 return QStringLiteral("questions favorites absentes du payload");
             if (o.value(QStringLiteral("processus")).toObject().value(QStringLiteral("etapes")).toArray().isEmpty())
                 return QStringLiteral("process de vente absent du payload");
             auto q = m.appelerJSON(QStringLiteral("requete"), {QStringLiteral("analyse"), o, modeleAnalyse});
             if (!q)
                 return echecDe(q.erreur());
             const QString prompt = q.valeur().toObject().value(QStringLiteral("corps")).toObject().value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("content")).toString();
             for (const QString& attendu : {QStringLiteral("MOMENTS MARQUÉS PAR LE COMMERCIAL"), QStringLiteral("OBJECTIONS SIGNALÉES AU COMMERCIAL PENDANT L'APPEL"),
                                            QStringLiteral("PROCESS DE VENTE DE L'ENTREPRISE À NOTER"), QStringLiteral("PROCHAINE ÉTAPE NOTÉE"),
                                            QStringLiteral("QUESTIONS FAVORITES DU COMMERCIAL"), QStringLiteral("Démo avec la directrice jeudi à 11 h"),
                                            QStringLiteral("Douleur chiffrée")})
                 if (!prompt.contains(attendu))
                     return QStringLiteral("absent du prompt : ") + attendu;
             return {};
         }},
        {QStringLiteral("Une deuxième voix du prospect s'appelle « Prospect 2 » dans le prompt"),
         [&]() -> QString {
             auto p = m.appelerTexte(QStringLiteral("payloadAnalyse"), {appel});
             if (!p)
                 return echecDe(p.erreur());
             auto q = m.appelerJSON(QStringLiteral("requete"), {QStringLiteral("analyse"), p.valeur(), modeleAnalyse});
             if (!q)
                 return echecDe(q.erreur());
             const QString prompt = q.valeur().toObject().value(QStringLiteral("corps")).toObject().value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("content")).toString();
             return prompt.contains(QStringLiteral("Prospect 2 : Et il faudra que je voie")) ? QString() : QStringLiteral("« Prospect 2 » absent du prompt");
         }},
        {QStringLiteral("Une objection signalée en direct et traitée n'apparaît qu'une fois dans l'analyse"),
         [&]() -> QString {
             const QJsonObject reponse{{QStringLiteral("score"), 70},
                                       {QStringLiteral("objections"), QJsonArray{QJsonObject{{QStringLiteral("libelle"), QStringLiteral("Offre jugée chère")},
                                                                                             {QStringLiteral("categorie"), QStringLiteral("prix")},
                                                                                             {QStringLiteral("tMs"), 16000},
                                                                                             {QStringLiteral("traitement"), QStringLiteral("bien")}}}}};
             auto a = m.appelerJSON(QStringLiteral("finaliserAnalyse"), {QString::fromUtf8(QJsonDocument(reponse).toJson()), appel});
             if (!a)
                 return echecDe(a.erreur());
             int prix = 0;
             for (const QJsonValue& o : a.valeur().toObject().value(QStringLiteral("objections")).toArray())
                 prix += o.toObject().value(QStringLiteral("categorie")).toString() == QLatin1String("prix");
             return prix == 1 ? QString() : QStringLiteral("%1 objections de prix").arg(prix);
         }},
        {QStringLiteral("Une phase déduite ne descend jamais sous le type d'appel"),
         [&]() -> QString {
             const QStringList types = {QStringLiteral("prospection"), QStringLiteral("decouverte"), QStringLiteral("demo"), QStringLiteral("suivi"),
                                        QStringLiteral("closing"), QStringLiteral("negociation"), QStringLiteral("upsell")};
             for (const QJsonValue& e : m.donnee(QStringLiteral("ETAPES")).toArray())
                 for (const QString& type : types) {
                     const QString etape = e.toObject().value(QStringLiteral("id")).toString();
                     auto p = m.phaseDeduite(QJsonObject{{QStringLiteral("type"), type},
                                                         {QStringLiteral("contact"), QJsonObject{{QStringLiteral("etape"), etape}}}});
                     if (!p)
                         return echecDe(p.erreur());
                     if (rangPhase(p.valeur()) < rangPhase(type))
                         return QStringLiteral("%1 pour un appel %2 d'un contact %3").arg(p.valeur(), type, etape);
                 }
             return {};
         }},
        {QStringLiteral("Une échéance n'est jamais inventée"),
         [&]() -> QString {
             for (const QString& flou : {QStringLiteral("On en reparle plus tard"), QStringLiteral("À définir"), QStringLiteral("Je vous rappelle"),
                                         QStringLiteral("Envoyer la proposition")}) {
                 auto v = m.appeler(QStringLiteral("resoudreEcheance"), {flou, QStringLiteral("2026-12-07")});
                 if (!v)
                     return echecDe(v.erreur());
                 if (v.valeur().type != ValeurJS::Type::null)
                     return QStringLiteral("« %1 » a donné %2").arg(flou, v.valeur().texte);
             }
             auto j = m.appelerTexte(QStringLiteral("resoudreEcheance"), {QStringLiteral("Rappeler jeudi 11 h"), QStringLiteral("2026-12-07")});
             if (!j)
                 return echecDe(j.erreur());
             return j.valeur() == QLatin1String("2026-12-10") ? QString() : QStringLiteral("jeudi → ") + j.valeur();
         }},
        {QStringLiteral("Deux questions, dont une sans point d'interrogation, comptent pour deux"),
         [&]() -> QString {
             auto n = m.appelerNombre(QStringLiteral("compterQuestions"), {QStringLiteral("Vous utilisez quoi aujourd'hui ? Et combien ça vous coûte")});
             if (!n)
                 return echecDe(n.erreur());
             return n.valeur() == 2 ? QString() : QStringLiteral("%1 questions comptées").arg(n.valeur());
         }},
        {QStringLiteral("Les métriques de parole se calculent sur le transcript"),
         [&]() -> QString {
             auto v = m.appelerJSON(QStringLiteral("metriques"), {appel});
             if (!v)
                 return echecDe(v.erreur());
             auto met = model::Metriques::depuisJson(v.valeur());
             if (!met || met->partVous + met->partProspect != 100 || met->questionsVous != 4 || met->nbEchanges != 6)
                 return QString::fromUtf8(QJsonDocument(v.valeur().toObject()).toJson(QJsonDocument::Compact));
             return {};
         }},
        {QStringLiteral("Le score rapide est un nombre de 0 à 100"),
         [&]() -> QString {
             auto n = m.appelerNombre(QStringLiteral("scoreExpress"), {appel});
             if (!n)
                 return echecDe(n.erreur());
             return n.valeur() >= 0 && n.valeur() <= 100 ? QString() : QString::number(n.valeur());
         }},
        {QStringLiteral("Un brief utilise le modèle des briefs avec un format de sortie, et la démonstration en rend un"),
         [&]() -> QString {
             const QJsonObject parametres{{QStringLiteral("contactId"), QStringLiteral("c_morel")}, {QStringLiteral("type"), QStringLiteral("decouverte")},
                                          {QStringLiteral("objectif"), QString()}, {QStringLiteral("methode"), QStringLiteral("aucune")},
                                          {QStringLiteral("langue"), QStringLiteral("fr")}};
             auto p = m.appelerJSON(QStringLiteral("payloadBrief"), {parametres});
             if (!p)
                 return echecDe(p.erreur());
             auto q = m.appelerJSON(QStringLiteral("requete"), {QStringLiteral("brief"), p.valeur(), QString()});
             if (!q)
                 return echecDe(q.erreur());
             const QJsonObject corps = q.valeur().toObject().value(QStringLiteral("corps")).toObject();
             const QString attendu = m.donnee(QStringLiteral("MODELES_DEFAUT")).toObject().value(QStringLiteral("brief")).toString();
             if (attendu.isEmpty() || corps.value(QStringLiteral("model")).toString() != attendu)
                 return QStringLiteral("modèle : ") + corps.value(QStringLiteral("model")).toString();
             if (!corps.value(QStringLiteral("output_config")).toObject().value(QStringLiteral("format")).isObject())
                 return QStringLiteral("pas de format de sortie");
             auto d = m.appelerTexte(QStringLiteral("reponseDemo"), {QStringLiteral("brief"), p.valeur()});
             if (!d)
                 return echecDe(d.erreur());
             const auto brief = model::Brief::depuisJson(QJsonDocument::fromJson(d.valeur().toUtf8()).object());
             return brief && !brief->pointsCles.isEmpty() && !brief->objectifMesurable.isEmpty() ? QString() : QStringLiteral("brief de démonstration vide");
         }},
        {QStringLiteral("L'état de démonstration se lit, et le scénario « decouverte » vise un de ses contacts"),
         [&]() -> QString {
             auto e = m.appelerJSON(QStringLiteral("etatDemo"));
             auto s = m.appelerJSON(QStringLiteral("scenarioDemo"), {QStringLiteral("decouverte")});
             if (!e || !s)
                 return echecDe(!e ? e.erreur() : s.erreur());
             auto etat = model::Etat::depuisJson(e.valeur());
             if (!etat || etat->contacts.size() < 10 || etat->appels.isEmpty())
                 return QStringLiteral("état de démonstration incomplet");
             const QString id = s.valeur().toObject().value(QStringLiteral("contactId")).toString();
             return etat->contact(id) ? QString() : QStringLiteral("contact « %1 » absent").arg(id);
         }},
    };

    ecrire(QStringLiteral("Vendalo · auto-test du moteur"));
    for (const auto& [libelle, verif] : verifs) {
        const QString pourquoi = verif();
        ++r.total;
        if (pourquoi.isEmpty()) {
            ++r.reussies;
            ecrire(QStringLiteral("  ✓ ") + libelle);
        } else {
            ecrire(QStringLiteral("  ✗ ") + libelle + QStringLiteral(" — ") + pourquoi);
        }
        // Nothing more can be checked on an engine that does not load.
        if (r.total == 1 && !pourquoi.isEmpty())
            break;
    }
    if (r.total > 1 && m.aFonction(QStringLiteral("quilloRequete"))) {
        // The assistant's request must carry its tools and its memory in the system prompt.
        // The request of a plain question; the whole result (body and system prompt) is searched.
        const QString question = QStringLiteral("Où en est Thermiq ?");
        auto q = m.appelerTexte(QStringLiteral("quilloRequete"), {QJsonObject{{QStringLiteral("question"), question}, {QStringLiteral("demande"), question},
                                                                             {QStringLiteral("messages"), QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                                                                                                 {QStringLiteral("content"), question}}}},
                                                                             {QStringLiteral("memoire"), QJsonArray{QStringLiteral("Fait retenu pour l'essai")}}}});
        const QString t = q ? q.valeur().toLower() : QString();
        const bool bon = q && t.contains(QStringLiteral("outil")) && (t.contains(QStringLiteral("mémoire")) || t.contains(QStringLiteral("memoire")));
        ++r.total;
        r.reussies += bon;
        ecrire((bon ? QStringLiteral("  ✓ ") : QStringLiteral("  ✗ ")) + QStringLiteral("L'assistant a ses outils et sa mémoire dans le prompt système") +
               (bon ? QString() : QStringLiteral(" — ") + (q ? QStringLiteral("outils ou mémoire absents") : echecDe(q.erreur()))));
    } else if (r.total > 1) {
        ecrire(QStringLiteral("  · L'assistant n'est pas encore dans ce moteur : ses outils et sa mémoire ne sont pas vérifiés."));
    }
    ecrire(QStringLiteral("%1 vérification(s) sur %2 réussie(s).").arg(r.reussies).arg(r.total));
    return r;
}

} // namespace vd::ai
