// The shipped templates, the default framework of each method and the built-in grid.
#include "framework.h"

#include <QUuid>

namespace vd::team {

namespace {

QString uuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

ObjectionEtape objection(const QString& texte, const QString& reponse) { return {uuid(), texte, reponse, std::nullopt}; }

EtapeFramework etape(QString id, QString nom, QString phase, double poids, QStringList types, QString objectif,
                     QStringList questions, QStringList criteres, QList<ObjectionEtape> objections, QString transition)
{
    EtapeFramework e;
    e.id = std::move(id);
    e.nom = std::move(nom);
    e.phase = std::move(phase);
    e.poids = poids;
    e.typesAppel = std::move(types);
    e.objectif = std::move(objectif);
    e.questions = std::move(questions);
    e.criteres = std::move(criteres);
    e.objections = std::move(objections);
    e.transition = std::move(transition);
    return e;
}

ModeleCycle venteCourte()
{
    return {QStringLiteral("vente_courte"), QStringLiteral("Vente courte"),
            QStringLiteral("Un ou deux appels pour décider : on comprend le besoin, on propose, on conclut."),
            QStringLiteral("Offres simples, panier moyen, décision rapide."), QStringLiteral("bolt"), QStringLiteral("bant"),
            {etape(QStringLiteral("decouverte"), QStringLiteral("Découverte express"), QStringLiteral("decouverte"), 30,
                   {QStringLiteral("prospection"), QStringLiteral("decouverte"), QStringLiteral("suivi")},
                   QStringLiteral("Faire dire le besoin principal et vérifier que l'offre y répond."),
                   {QStringLiteral("Qu'est-ce qui vous a fait prendre ce rendez-vous aujourd'hui ?"),
                    QStringLiteral("Comment gérez-vous ça aujourd'hui, concrètement ?"),
                    QStringLiteral("Qu'est-ce qui doit changer en priorité ?")},
                   {QStringLiteral("Besoin principal dit par le prospect"), QStringLiteral("Situation actuelle décrite"),
                    QStringLiteral("Décideur présent ou identifié")},
                   {objection(QStringLiteral("Je n'ai pas beaucoup de temps."),
                              QStringLiteral("Je comprends, on va droit au but. Qu'est-ce qui doit absolument changer pour vous ?"))},
                   QStringLiteral("Avant de vous présenter quoi que ce soit, dites-moi ce qui doit changer pour vous.")),
             etape(QStringLiteral("proposition"), QStringLiteral("Proposition"), QStringLiteral("demo"), 30,
                   {QStringLiteral("decouverte"), QStringLiteral("demo"), QStringLiteral("suivi"), QStringLiteral("negociation")},
                   QStringLiteral("Relier l'offre au besoin dit, avec ses mots, et annoncer le prix sans détour."),
                   {QStringLiteral("Sur ce que je viens de vous montrer, qu'est-ce qui vous parle le plus ?"),
                    QStringLiteral("Qu'est-ce qui manque pour que ce soit parfait pour vous ?")},
                   {QStringLiteral("Offre reliée au besoin dit"), QStringLiteral("Prix annoncé clairement"),
                    QStringLiteral("Réaction du prospect obtenue")},
                   {objection(QStringLiteral("C'est plus cher que prévu."),
                              QStringLiteral("Je comprends. Par rapport à quoi ? Qu'est-ce que ce problème vous coûte aujourd'hui, chaque mois ?"))},
                   QStringLiteral("Vous m'avez parlé de ce besoin : voici ce que je vous propose pour y répondre.")),
             etape(QStringLiteral("conclusion"), QStringLiteral("Conclusion"), QStringLiteral("closing"), 40,
                   {QStringLiteral("demo"), QStringLiteral("negociation"), QStringLiteral("closing"), QStringLiteral("upsell")},
                   QStringLiteral("Obtenir un oui ferme maintenant, ou une date de décision précise."),
                   {QStringLiteral("Qu'est-ce qui vous empêcherait de démarrer aujourd'hui ?"),
                    QStringLiteral("Quelle date de démarrage vous arrange ?")},
                   {QStringLiteral("Dernier frein isolé et traité"), QStringLiteral("Accord ou date de décision fixée")},
                   {objection(QStringLiteral("Je vais réfléchir."),
                              QStringLiteral("Bien sûr. Sur quoi hésitez-vous précisément : le prix, le moment ou autre chose ?"))},
                   QStringLiteral("Il nous reste à voir comment vous démarrez."))}};
}

ModeleCycle venteComplexe()
{
    return {QStringLiteral("vente_complexe"), QStringLiteral("Vente complexe B2B"),
            QStringLiteral("Plusieurs appels et plusieurs décideurs : qualifier, comprendre, démontrer, négocier, signer."),
            QStringLiteral("Logiciels, services aux entreprises, cycles de plusieurs semaines."), QStringLiteral("building.2"),
            QStringLiteral("meddic"),
            {etape(QStringLiteral("qualification"), QStringLiteral("Qualification"), QStringLiteral("decouverte"), 25,
                   {QStringLiteral("prospection"), QStringLiteral("decouverte")},
                   QStringLiteral("Vérifier que le projet est réel : enjeu, budget, décideurs et calendrier."),
                   {QStringLiteral("Qu'est-ce qui déclenche ce projet maintenant ?"),
                    QStringLiteral("Qui d'autre participe à la décision ?"),
                    QStringLiteral("Quel budget est prévu pour ce sujet ?")},
                   {QStringLiteral("Enjeu business dit par le prospect"), QStringLiteral("Décideurs identifiés"),
                    QStringLiteral("Budget évoqué"), QStringLiteral("Échéance connue")},
                   {objection(QStringLiteral("Envoyez-moi une documentation."),
                              QStringLiteral("Avec plaisir. Pour vous envoyer ce qui compte, quel point voulez-vous vérifier en premier ?"))},
                   QStringLiteral("Avant d'entrer dans le détail, j'aimerais comprendre ce qui déclenche ce projet chez vous.")),
             etape(QStringLiteral("decouverte"), QStringLiteral("Découverte approfondie"), QStringLiteral("decouverte"), 25,
                   {QStringLiteral("decouverte"), QStringLiteral("suivi")},
                   QStringLiteral("Comprendre le processus actuel, chiffrer la douleur, connaître les critères de choix."),
                   {QStringLiteral("Comment ce processus fonctionne-t-il aujourd'hui, étape par étape ?"),
                    QStringLiteral("Qu'est-ce que ce problème vous coûte sur un an ?"),
                    QStringLiteral("Sur quels critères allez-vous comparer les solutions ?")},
                   {QStringLiteral("Douleur chiffrée par le prospect"), QStringLiteral("Critères de décision connus"),
                    QStringLiteral("Processus de décision connu")},
                   {objection(QStringLiteral("On a déjà un outil en interne."),
                              QStringLiteral("Très bien. Qu'est-ce qu'il ne règle pas encore pour vous ?"))},
                   QStringLiteral("Pour vous montrer ce qui compte vraiment, j'ai besoin de comprendre comment ça se passe aujourd'hui.")),
             etape(QStringLiteral("demo"), QStringLiteral("Démonstration ciblée"), QStringLiteral("demo"), 20,
                   {QStringLiteral("demo"), QStringLiteral("suivi")},
                   QStringLiteral("Montrer seulement ce qui répond aux douleurs dites, et faire réagir chaque participant."),
                   {QStringLiteral("Sur ce que je viens de montrer, qu'est-ce qui changerait le plus pour votre équipe ?"),
                    QStringLiteral("Qu'est-ce qui manque pour que ça marche chez vous ?")},
                   {QStringLiteral("Chaque point montré relié à une douleur"), QStringLiteral("Réaction de chaque décideur obtenue"),
                    QStringLiteral("Champion identifié")},
                   {objection(QStringLiteral("Ça a l'air compliqué à mettre en place."),
                              QStringLiteral("C'est une vraie question. Qu'est-ce qui vous inquiète le plus dans la mise en place ?"))},
                   QStringLiteral("Vous m'avez parlé de ce problème : je vous montre ce qui se passe à ce moment précis.")),
             etape(QStringLiteral("proposition"), QStringLiteral("Proposition et négociation"), QStringLiteral("negociation"), 15,
                   {QStringLiteral("negociation"), QStringLiteral("suivi")},
                   QStringLiteral("Valider la proposition avec l'acheteur économique, sans remise gratuite."),
                   {QStringLiteral("Qu'est-ce qui doit figurer dans la proposition pour qu'elle soit validée ?"),
                    QStringLiteral("Si on règle ce point, qu'est-ce qui reste avant de signer ?")},
                   {QStringLiteral("Valeur rappelée avant le prix"), QStringLiteral("Aucune remise sans contrepartie"),
                    QStringLiteral("Conditions validées par l'acheteur économique")},
                   {objection(QStringLiteral("Votre concurrent est moins cher."),
                              QStringLiteral("C'est possible. Qu'est-ce qu'il vous apporte que nous n'apportons pas ?"))},
                   QStringLiteral("Avant de parler des conditions, rappelons ce que vous voulez obtenir.")),
             etape(QStringLiteral("signature"), QStringLiteral("Signature"), QStringLiteral("closing"), 15,
                   {QStringLiteral("closing"), QStringLiteral("negociation")},
                   QStringLiteral("Obtenir la signature et fixer le démarrage."),
                   {QStringLiteral("Qu'est-ce qu'il vous faut encore pour signer ?"),
                    QStringLiteral("Quelle date de démarrage vous arrange ?")},
                   {QStringLiteral("Dernier frein traité"), QStringLiteral("Date de signature fixée"), QStringLiteral("Démarrage planifié")},
                   {objection(QStringLiteral("Il faut que je repasse par le comité."),
                              QStringLiteral("Bien sûr. Qu'est-ce que le comité voudra voir en premier ? Je vous prépare une page pour lui."))},
                   QStringLiteral("Il nous reste à caler la signature et le démarrage."))}};
}

ModeleCycle priseRdv()
{
    const QStringList prospection{QStringLiteral("prospection")};
    return {QStringLiteral("prise_rdv"), QStringLiteral("Prise de rendez-vous"),
            QStringLiteral("L'appel à froid qui décroche un rendez-vous : accrocher, qualifier vite, fixer la date."),
            QStringLiteral("Prospection téléphonique, SDR, premiers contacts."), QStringLiteral("phone.arrow.up.right"),
            QStringLiteral("essentiel"),
            {etape(QStringLiteral("accroche"), QStringLiteral("Accroche"), QStringLiteral("prospection"), 30, prospection,
                   QStringLiteral("Obtenir trente secondes d'attention avec une raison d'appeler qui parle au prospect."),
                   {QStringLiteral("Comment gérez-vous ce sujet aujourd'hui chez vous ?"),
                    QStringLiteral("Qu'est-ce qui vous prend le plus de temps sur ce point ?")},
                   {QStringLiteral("Raison de l'appel dite en une phrase"), QStringLiteral("Le prospect accepte de continuer")},
                   {objection(QStringLiteral("Je n'ai pas le temps."),
                              QStringLiteral("Je comprends, je vous prends trente secondes. Comment gérez-vous ce sujet aujourd'hui ?"))},
                   QStringLiteral("Je vous appelle pour une raison précise, et je serai bref.")),
             etape(QStringLiteral("qualification"), QStringLiteral("Qualification rapide"), QStringLiteral("prospection"), 30,
                   prospection, QStringLiteral("Vérifier en trois questions que le rendez-vous vaut le coup des deux côtés."),
                   {QStringLiteral("Qu'est-ce qui vous freine le plus aujourd'hui sur ce sujet ?"),
                    QStringLiteral("Qui s'occupe de ce sujet chez vous ?")},
                   {QStringLiteral("Un problème réel évoqué"), QStringLiteral("Bon interlocuteur identifié")},
                   {objection(QStringLiteral("Envoyez-moi un mail."),
                              QStringLiteral("Avec plaisir. Pour qu'il vous serve, qu'est-ce qui compte le plus pour vous : le temps gagné ou le coût ?"))},
                   QStringLiteral("Pour voir si un échange vous serait utile, j'ai deux questions rapides.")),
             etape(QStringLiteral("rendez_vous"), QStringLiteral("Rendez-vous fixé"), QStringLiteral("prospection"), 40,
                   prospection, QStringLiteral("Fixer un rendez-vous daté, avec la bonne personne et un objectif clair."),
                   {QStringLiteral("Quel créneau vous arrange, mardi matin ou jeudi après-midi ?"),
                    QStringLiteral("Qui d'autre devrait être là ?")},
                   {QStringLiteral("Date et heure fixées"), QStringLiteral("Participants confirmés"),
                    QStringLiteral("Objectif du rendez-vous dit")},
                   {objection(QStringLiteral("Rappelez-moi dans six mois."),
                              QStringLiteral("D'accord. Qu'est-ce qui aura changé d'ici là ? Et si c'est le bon moment plus tôt, quel serait le signal ?"))},
                   QStringLiteral("Le plus simple : vingt minutes ensemble pour regarder votre cas."))}};
}

ModeleCycle gestionCompte()
{
    const QStringList compte{QStringLiteral("suivi"), QStringLiteral("upsell")};
    return {QStringLiteral("gestion_compte"), QStringLiteral("Gestion de compte"),
            QStringLiteral("Les appels avec un client déjà équipé : bilan, frictions, nouveaux besoins, plan daté."),
            QStringLiteral("Account managers, customer success, renouvellements."),
            QStringLiteral("person.crop.circle.badge.checkmark"), QStringLiteral("soncas"),
            {etape(QStringLiteral("bilan"), QStringLiteral("Bilan d'usage"), QStringLiteral("suivi"), 30, compte,
                   QStringLiteral("Faire dire au client les résultats obtenus depuis le démarrage, chiffres à l'appui."),
                   {QStringLiteral("Qu'est-ce que ça a changé pour votre équipe depuis le démarrage ?"),
                    QStringLiteral("Quel résultat pouvez-vous chiffrer aujourd'hui ?")},
                   {QStringLiteral("Résultats dits par le client"), QStringLiteral("Au moins un chiffre obtenu")},
                   {objection(QStringLiteral("On ne s'en sert pas tant que ça."),
                              QStringLiteral("Merci de le dire. Qu'est-ce qui vous empêche de vous en servir plus ?"))},
                   QStringLiteral("Avant tout, j'aimerais savoir ce que ça a changé pour vous depuis le démarrage.")),
             etape(QStringLiteral("frictions"), QStringLiteral("Points de friction"), QStringLiteral("retention"), 25, compte,
                   QStringLiteral("Faire remonter ce qui coince avant que ça devienne une raison de partir."),
                   {QStringLiteral("Qu'est-ce qui vous agace encore au quotidien ?"),
                    QStringLiteral("Si vous pouviez changer une seule chose, ce serait laquelle ?")},
                   {QStringLiteral("Frictions dites par le client"), QStringLiteral("Risque de départ évalué")},
                   {objection(QStringLiteral("On regarde d'autres solutions."),
                              QStringLiteral("Je comprends. Qu'est-ce qu'elles vous apportent que vous n'avez pas aujourd'hui ?"))},
                   QStringLiteral("J'aimerais aussi savoir ce qui vous agace, même les petites choses.")),
             etape(QStringLiteral("besoins"), QStringLiteral("Nouveaux besoins"), QStringLiteral("upsell"), 25, compte,
                   QStringLiteral("Faire émerger un nouveau besoin et le chiffrer, sans pousser l'offre."),
                   {QStringLiteral("Qu'est-ce qui arrive pour vous dans les six prochains mois ?"),
                    QStringLiteral("Combien vous coûterait ce besoin s'il restait sans réponse ?")},
                   {QStringLiteral("Nouveau besoin dit par le client"), QStringLiteral("Besoin chiffré")},
                   {objection(QStringLiteral("On n'a pas de budget en plus."),
                              QStringLiteral("Je comprends. Combien vous coûte ce besoin s'il reste sans réponse ?"))},
                   QStringLiteral("Regardons maintenant ce qui arrive pour vous dans les prochains mois.")),
             etape(QStringLiteral("plan"), QStringLiteral("Plan de compte"), QStringLiteral("suivi"), 20,
                   {QStringLiteral("suivi"), QStringLiteral("upsell"), QStringLiteral("negociation")},
                   QStringLiteral("Repartir avec un plan daté : un point de contrôle et un responsable de chaque côté."),
                   {QStringLiteral("Quelle date vous arrange pour le prochain point ?"),
                    QStringLiteral("Qui suit ce plan de votre côté ?")},
                   {QStringLiteral("Prochain point daté"), QStringLiteral("Responsable nommé de chaque côté")},
                   {objection(QStringLiteral("On verra plus tard."),
                              QStringLiteral("D'accord. Quelle date vous arrange pour qu'on fasse le point ?"))},
                   QStringLiteral("Pour que ça avance, fixons tout de suite le prochain point."))}};
}

} // namespace

QList<ModeleCycle> modelesCycle() { return {venteCourte(), venteComplexe(), priseRdv(), gestionCompte()}; }

std::optional<ModeleCycle> modeleCycle(const QString& id)
{
    for (const ModeleCycle& m : modelesCycle())
        if (m.id == id.trimmed())
            return m;
    return std::nullopt;
}

QStringList methodesDefaut()
{
    return {QStringLiteral("aucune"), QStringLiteral("spin"), QStringLiteral("bant"), QStringLiteral("meddic"),
            QStringLiteral("soncas")};
}

QString nomMethode(const QString& methode)
{
    const QString m = methode.trimmed().toLower();
    if (m == QLatin1String("spin") || m == QLatin1String("bant") || m == QLatin1String("meddic") ||
        m == QLatin1String("soncas"))
        return m.toUpper();
    return QString();
}

GrilleQualification grilleEssentiel()
{
    return {QStringLiteral("essentiel"),
            QStringLiteral("Essentiel"),
            QStringLiteral("qualification"),
            {{QStringLiteral("douleur"), QStringLiteral("Douleur"), QStringLiteral("D"),
              QStringLiteral("Sans problème dit avec ses mots, le prospect n'a aucune raison d'acheter."),
              {QStringLiteral("Qu'est-ce qui coince le plus aujourd'hui ?")}, QStringLiteral("douleur")},
             {QStringLiteral("budget"), QStringLiteral("Budget"), QStringLiteral("B"),
              QStringLiteral("Savoir tôt si l'argent existe évite de travailler pour rien."),
              {QStringLiteral("Quel budget avez-vous prévu pour ce sujet cette année ?")}, QStringLiteral("budget")},
             {QStringLiteral("decideur"), QStringLiteral("Décideur"), QStringLiteral("D"),
              QStringLiteral("Celui qui signe n'est pas toujours celui qui vous parle."),
              {QStringLiteral("Qui d'autre participe à la décision ?")}, QStringLiteral("decideur")},
             {QStringLiteral("echeance"), QStringLiteral("Échéance"), QStringLiteral("É"),
              QStringLiteral("Sans date, le projet glisse au trimestre suivant."),
              {QStringLiteral("Pour quand voulez-vous que ce soit réglé ?")}, QStringLiteral("echeance")}}};
}

FrameworkVente frameworkParDefaut(const QString& methodeArg, const QString& id, const QString& maintenant,
                                  const QList<GrilleQualification>& grilles)
{
    QString methode = methodeArg.trimmed().toLower();
    if (!methodesDefaut().contains(methode))
        methode = QStringLiteral("aucune");

    EtapeFramework decouverte = etape(
        QStringLiteral("decouverte"), QStringLiteral("Découverte"), QStringLiteral("decouverte"), 35,
        {QStringLiteral("prospection"), QStringLiteral("decouverte"), QStringLiteral("suivi")},
        QStringLiteral("Faire dire la douleur principale, la chiffrer et savoir qui décide."),
        {QStringLiteral("Comment ça se passe aujourd'hui, concrètement, de votre côté ?"),
         QStringLiteral("Qu'est-ce que ce problème vous coûte, en temps ou en argent ?"),
         QStringLiteral("Qui d'autre participe à la décision ?")},
        {QStringLiteral("Douleur principale dite par le prospect"), QStringLiteral("Coût du problème chiffré"),
         QStringLiteral("Décideur identifié"), QStringLiteral("Prochaine étape datée")},
        {objection(QStringLiteral("Envoyez-moi une documentation."),
                   QStringLiteral("Avec plaisir. Pour vous envoyer ce qui compte, quel point voulez-vous vérifier en premier ?"))},
        QStringLiteral("Avant de vous parler de nous, j'aimerais comprendre comment vous travaillez aujourd'hui."));
    EtapeFramework demo = etape(
        QStringLiteral("demo"), QStringLiteral("Démo"), QStringLiteral("demo"), 25, {QStringLiteral("demo"), QStringLiteral("suivi")},
        QStringLiteral("Faire valider que l'offre répond aux douleurs dites en découverte."),
        {QStringLiteral("Sur ce que je viens de montrer, qu'est-ce qui changerait le plus pour vous ?"),
         QStringLiteral("Qu'est-ce qui manque pour que ça marche chez vous ?")},
        {QStringLiteral("Chaque point montré relié à une douleur dite"), QStringLiteral("Réaction du prospect après chaque point clé"),
         QStringLiteral("Prochaine étape datée")},
        {objection(QStringLiteral("Je ne suis pas sûr que ça marche chez nous."),
                   QStringLiteral("C'est une vraie question. Quelle situation vous inquiète le plus ? On la regarde ensemble."))},
        QStringLiteral("Vous m'avez parlé de ce problème : je vous montre ce qui se passe à ce moment précis."));
    EtapeFramework negociation = etape(
        QStringLiteral("negociation"), QStringLiteral("Négociation"), QStringLiteral("negociation"), 20,
        {QStringLiteral("negociation"), QStringLiteral("suivi")},
        QStringLiteral("Trouver un accord sans baisser le prix, en recadrant sur la valeur."),
        {QStringLiteral("Qu'est-ce qui vous fait hésiter, précisément ?"), QStringLiteral("Si on règle ce point, on avance ensemble ?")},
        {QStringLiteral("Valeur rappelée avant de parler du prix"), QStringLiteral("Aucune remise sans contrepartie"),
         QStringLiteral("Conditions validées par le décideur")},
        {objection(QStringLiteral("C'est trop cher."),
                   QStringLiteral("Je comprends. Par rapport à quoi ? Ce problème vous coûte combien aujourd'hui, chaque mois ?"))},
        QStringLiteral("Avant de parler des conditions, rappelons ce que vous voulez obtenir."));
    EtapeFramework closing = etape(
        QStringLiteral("closing"), QStringLiteral("Closing"), QStringLiteral("closing"), 20,
        {QStringLiteral("closing"), QStringLiteral("negociation")},
        QStringLiteral("Obtenir un accord ferme et une date de signature."),
        {QStringLiteral("Qu'est-ce qu'il vous faut encore pour signer ?"), QStringLiteral("Quelle date de démarrage vous arrange ?")},
        {QStringLiteral("Dernier frein isolé et traité"), QStringLiteral("Accord ferme du décideur"),
         QStringLiteral("Date de signature fixée")},
        {objection(QStringLiteral("Je vais réfléchir."),
                   QStringLiteral("Bien sûr. Sur quoi hésitez-vous précisément : le prix, le moment ou l'adoption par l'équipe ?"))},
        QStringLiteral("Il nous reste à caler le démarrage."));

    QString description = QStringLiteral("Votre cycle de vente en quatre étapes, de la découverte à la signature.");
    if (methode == QLatin1String("spin")) {
        description = QStringLiteral("Votre cycle de vente en quatre étapes, avec SPIN pour la découverte : situation, problème, implication, bénéfice.");
        decouverte.criteres = {QStringLiteral("Situation actuelle décrite par le prospect"),
                               QStringLiteral("Problème principal dit avec ses mots"),
                               QStringLiteral("Conséquences chiffrées si rien ne change"),
                               QStringLiteral("Bénéfice attendu dit par le prospect")};
        decouverte.questions = {QStringLiteral("Comment ça se passe aujourd'hui, concrètement, de votre côté ?"),
                                QStringLiteral("Qu'est-ce qui coince le plus dans cette façon de faire ?"),
                                QStringLiteral("Si rien ne change d'ici six mois, qu'est-ce que ça vous coûte ?"),
                                QStringLiteral("Si ce point était réglé, qu'est-ce que ça changerait pour vous ?")};
    } else if (methode == QLatin1String("bant")) {
        description = QStringLiteral("Votre cycle de vente en quatre étapes, avec BANT pour qualifier : budget, décideur, besoin, échéance.");
        decouverte.criteres = {QStringLiteral("Budget évoqué"), QStringLiteral("Décideur identifié"),
                               QStringLiteral("Besoin prioritaire confirmé"), QStringLiteral("Échéance connue")};
        decouverte.questions = {QStringLiteral("Quel budget avez-vous prévu pour ce sujet cette année ?"),
                                QStringLiteral("Qui d'autre participe à la décision, et sur quels critères ?"),
                                QStringLiteral("Pourquoi ce sujet maintenant, plutôt que dans six mois ?"),
                                QStringLiteral("Pour quand voulez-vous que ce soit réglé ?")};
    } else if (methode == QLatin1String("meddic")) {
        description = QStringLiteral("Votre cycle de vente en quatre étapes, avec MEDDIC pour les deals à plusieurs décideurs.");
        decouverte.criteres = {QStringLiteral("Gain chiffré par le prospect (métriques)"),
                               QStringLiteral("Douleur identifiée et son coût"), QStringLiteral("Acheteur économique identifié")};
        decouverte.questions = {QStringLiteral("Quel chiffre voulez-vous voir bouger, et de combien ?"),
                                QStringLiteral("Qu'est-ce que ce problème vous coûte aujourd'hui ?"),
                                QStringLiteral("Qui tient le budget pour ce type de projet ?")};
        demo.criteres << QStringLiteral("Critères de décision connus") << QStringLiteral("Champion identifié en interne");
        demo.questions << QStringLiteral("Sur quels critères allez-vous comparer les solutions ?");
        negociation.criteres << QStringLiteral("Processus de décision connu jusqu'à la signature");
        negociation.questions << QStringLiteral("Quelles sont les étapes jusqu'à la signature, et qui valide chacune ?");
    } else if (methode == QLatin1String("soncas")) {
        description = QStringLiteral("Votre cycle de vente en quatre étapes, avec SONCAS pour parler au bon levier de motivation.");
        decouverte.criteres = {QStringLiteral("Levier principal repéré (sécurité, orgueil, nouveauté, confort, argent, sympathie)"),
                               QStringLiteral("Douleur principale dite par le prospect"), QStringLiteral("Décideur identifié")};
        decouverte.questions = {QStringLiteral("Qu'est-ce qui compte le plus pour vous dans ce choix ?"),
                                QStringLiteral("Qu'est-ce qui vous rassurerait pour avancer ?"),
                                QStringLiteral("Qu'est-ce qui coince le plus aujourd'hui ?")};
        demo.criteres << QStringLiteral("Bénéfices reliés au levier du prospect");
    }

    FrameworkVente f;
    f.id = id;
    f.nom = methode == QLatin1String("aucune") ? QStringLiteral("Votre Framework")
                                               : QStringLiteral("Framework ") + nomMethode(methode);
    f.description = description;
    f.methode = methode;
    f.etapes = {decouverte, demo, negociation, closing};
    f.actif = true;
    f.creeLe = f.majLe = maintenant;
    const bool grillePropre = methode == QLatin1String("bant") || methode == QLatin1String("meddic") ||
                              methode == QLatin1String("soncas");
    f.qualification = grillePropre ? grilleParId(grilles, methode) : grilleEssentiel();
    return f;
}

FrameworkVente frameworkDepuisModele(const ModeleCycle& m, const QString& id, const QString& maintenant,
                                     const QList<GrilleQualification>& grilles)
{
    FrameworkVente f;
    f.id = id;
    f.nom = m.nom;
    f.description = m.description;
    f.methode = m.grille;
    f.etapes = m.etapes;
    f.actif = true;
    f.creeLe = f.majLe = maintenant;
    f.qualification = grilleParId(grilles, m.grille);
    return f;
}

} // namespace vd::team
