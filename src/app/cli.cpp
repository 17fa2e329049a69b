#include "cli.h"

#include "cli_commandes.h"
#include "contextecommande.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace vd::app {

const QList<Commande>& commandes()
{
    static const QList<Commande> liste = {
        {QStringLiteral("sauvegarde"), QStringLiteral("sauvegarde exporter FICHIER | sauvegarde importer FICHIER"),
         QStringLiteral("Exporte ou importe une sauvegarde des données (« - » pour la sortie ou l'entrée standard)."),
         &commandeSauvegarde},
        {QStringLiteral("simuler"), QStringLiteral("simuler [--scenario ID] [--vitesse X] [--duree MINUTES]"),
         QStringLiteral("Joue un appel simulé de démonstration et affiche l'appel enregistré en JSON."), &commandeSimuler},
        {QStringLiteral("moteur"), QStringLiteral("moteur [--etat FICHIER | --sans-etat] NOM [ARGUMENT...]"),
         QStringLiteral("Appelle une fonction du moteur de vente avec des arguments JSON et affiche son résultat."), &commandeMoteur},
        {QStringLiteral("autotest"), QStringLiteral("autotest"),
         QStringLiteral("Lance l'auto-test du moteur de vente (aussi avec VD_TEST_MOTEUR=1 vendalo)."), &commandeAutotest},
        {QStringLiteral("cles"), QStringLiteral("cles definir|effacer NOM"),
         QStringLiteral("Enregistre (valeur lue sur l'entrée standard) ou efface une clé : anthropic, anthropic-workspace, soniox, deepgram."),
         &commandeCles},
        {QStringLiteral("ia"), QStringLiteral("ia [--demo] TACHE PAYLOAD-JSON [--modele M]"),
         QStringLiteral("Envoie une demande à Quillo par la route disponible ; les valeurs partielles vont sur la sortie d'erreur, le texte final sur la sortie standard."),
         &commandeIa},
        {QStringLiteral("transcrire"), QStringLiteral("transcrire FICHIER.wav [--moteur soniox|deepgram] [--langue fr] [--vite]"),
         QStringLiteral("Transcrit un fichier WAV 16 kHz (canal 1 : vous, canal 2 : prospect) et affiche chaque segment final en JSON."),
         &commandeTranscrire},
        {QStringLiteral("cloud"), QStringLiteral("cloud etat | connecter EMAIL (mot de passe sur l'entrée) | deconnecter | lien URL | procedure NOM [JSON] | fonction NOM [JSON] | flux NOM [JSON]"),
         QStringLiteral("Interroge le compte en ligne : session, procédures et fonctions du serveur."), &commandeCloud},
        {QStringLiteral("audio"), QStringLiteral("audio tester [--duree SECONDES] [--wav FICHIER]"),
         QStringLiteral("Teste le micro et le son du système comme pendant un appel : niveaux chaque seconde, puis un bilan "
                        "(et les deux canaux en WAV 16 kHz stéréo si demandé)."),
         &commandeAudio},
        {QStringLiteral("enregistrement"), QStringLiteral("enregistrement tester [--duree SECONDES] [--video] [--fenetre TITRE]"),
         QStringLiteral("Enregistre le son (et l'écran avec --video) comme pendant un appel, puis affiche le fichier en JSON."),
         &commandeEnregistrement},
        {QStringLiteral("extrait"), QStringLiteral("extrait APPEL_ID DEBUT FIN FICHIER.mp4"),
         QStringLiteral("Copie un passage de l'enregistrement d'un appel (en secondes) dans un nouveau fichier MP4."),
         &commandeExtrait},
        {QStringLiteral("contacts"),
         QStringLiteral("contacts lister [--recherche TEXTE] [--etape ID] [--profil ID] [--a-relancer] | creer JSON | modifier ID JSON | etape ID ETAPE | supprimer ID"),
         QStringLiteral("Liste, crée, modifie, change d'étape ou supprime les contacts du CRM (JSON sur la sortie, messages du formulaire en cas de refus)."),
         &commandeContacts},
        {QStringLiteral("importer"),
         QStringLiteral("importer FICHIER [--feuille N] [--mode creer|completer|remplacer|ignorer] [--colonne \"TITRE=CHAMP\"]... [--simulation]"),
         QStringLiteral("Importe des contacts d'un fichier CSV ou Excel (.xlsx) dans le CRM et affiche le bilan en JSON "
                        "(--simulation : rien n'est écrit)."),
         &commandeImporter},
        {QStringLiteral("exporter"), QStringLiteral("exporter FICHIER [--format csv|xlsx] [--selection ID,ID…]"),
         QStringLiteral("Exporte les contacts du CRM en CSV ou en Excel (.xlsx) ; « - » écrit le CSV sur la sortie standard."),
         &commandeExporter},
        {QStringLiteral("synchroniser"), QStringLiteral("synchroniser [--envoyer-local | --remplacer-local]"),
         QStringLiteral("Synchronise les données avec le compte en ligne et affiche le bilan en JSON (envoyés, reçus, refusés, "
                        "phase) ; à la première connexion, dites quoi faire des données déjà sur l'ordinateur."),
         &commandeSynchroniser},
        {QStringLiteral("compte"), QStringLiteral("compte"),
         QStringLiteral("Affiche le compte en ligne en JSON : état, compte, équipe et rôle (la dernière copie connue hors ligne)."),
         &commandeCompte},
        {QStringLiteral("relances"),
         QStringLiteral("relances [--jour AAAA-MM-JJ] | activer CONTACT_ID | arreter CONTACT_ID | envoyer CONTACT_ID ETAPE_ID --par email|whatsapp|copier|note"),
         QStringLiteral("Liste les séquences de relance en JSON (--jour : les relances dues ce jour-là ou en retard), les active, "
                        "les arrête ou envoie une étape."),
         &commandeRelances},
        {QStringLiteral("quillo"), QStringLiteral("quillo [--conversation ID] [--demo] QUESTION | quillo appliquer|ignorer CONVERSATION TOOL_CALL_ID"),
         QStringLiteral("Pose une question à Quillo : la réponse sur la sortie standard (outils sur la sortie d'erreur), puis une ligne JSON "
                        "avec la conversation, les outils appelés et les propositions en attente ; applique ou laisse de côté une proposition."),
         &commandeQuillo},
        {QStringLiteral("mcp"), QStringLiteral("mcp"),
         QStringLiteral("Serveur MCP en lecture seule sur l'entrée et la sortie standard, pour un assistant IA de cet ordinateur "
                        "(contacts, appels, statistiques, relances du jour)."),
         &commandeMcp},
        {QStringLiteral("agenda"), QStringLiteral("agenda [--demo] | agenda brief EVENEMENT_ID [--demo]"),
         QStringLiteral("Affiche en JSON les rendez-vous des 7 prochains jours, chacun avec le contact reconnu et comment (adresse ou entreprise) ; "
                        "prépare le brief d'un rendez-vous, le garde avec lui et l'affiche. VD_MAINTENANT fixe l'instant pris pour maintenant."),
         &commandeAgenda},
        {QStringLiteral("frameworks"), QStringLiteral("frameworks | frameworks valider FICHIER.json"),
         QStringLiteral("Affiche en JSON les Frameworks de vente enregistrés, celui que suivent les appels et les modèles ; "
                        "vérifie un Framework en JSON comme à son enregistrement (le premier message d'erreur, statut 1)."),
         &commandeFrameworks},
        {QStringLiteral("commenter"), QStringLiteral("commenter APPEL_ID TEXTE [--a SECONDES]"),
         QStringLiteral("Commente un appel de votre équipe, à un moment précis (--a : secondes ou minutes:secondes) ou sur "
                        "l'appel entier, et affiche le commentaire publié en JSON."),
         &commandeCommenter},
        {QStringLiteral("equipe"), QStringLiteral("equipe alertes | equipe classement [--periode JOURS] | equipe objectifs [--semaine AAAA-MM-JJ] | "
                                                  "equipe objectif TYPE CIBLE [--commercial COMPTE_ID] | equipe epingler APPEL_ID [--note TEXTE] | "
                                                  "equipe nonlus | equipe commentaires APPEL_ID"),
         QStringLiteral("Affiche en JSON les appels de l'équipe à regarder (pour un manager), le classement de l'équipe sur les derniers jours (30 par défaut) ou les objectifs "
                        "d'une semaine avec la progression de chacun ; fixe un objectif de la semaine, épingle un appel comme exemple avec une note, "
                        "liste vos appels aux commentaires non lus ou lit les commentaires d'un appel."),
         &commandeEquipe},
        {QStringLiteral("progres"), QStringLiteral("progres [--le AAAA-MM-JJ] [--demo]"),
         QStringLiteral("Affiche en JSON vos compétences sur 30 jours et leur tendance, l'exercice de la semaine avec le résultat de chaque "
                        "appel de la semaine, et les moments à réécouter (--le : à la fin de ce jour-là ; --demo : sur les données de démonstration)."),
         &commandeProgres},
    };
    return liste;
}

const Commande* trouverCommande(const QString& nom)
{
    for (const Commande& c : commandes())
        if (c.nom == nom)
            return &c;
    return nullptr;
}

void sortieJson(const QJsonValue& v, bool indente)
{
    QByteArray b;
    const auto format = indente ? QJsonDocument::Indented : QJsonDocument::Compact;
    if (v.isObject())
        b = QJsonDocument(v.toObject()).toJson(format);
    else if (v.isArray())
        b = QJsonDocument(v.toArray()).toJson(format);
    else {
        b = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        b = b.mid(1, b.size() - 2) + '\n';
    }
    ecrireSortie(b);
}

void sortieTexte(const QString& t)
{
    ecrireSortie(t.toUtf8() + '\n');
}

int erreur(const QString& message, int code)
{
    ecrireErreurs(message.toUtf8() + '\n');
    return code;
}

QString texteAide()
{
    QString t = QStringLiteral(
        "Vendalo — l'assistant des appels de vente.\n\n"
        "Utilisation :\n"
        "  vendalo                 ouvre l'application\n"
        "  vendalo --version       affiche la version\n"
        "  vendalo --help          affiche cette aide\n"
        "  vendalo --demo [--capture FICHIER.png]\n"
        "      ouvre l'application sur les données de démonstration avec un appel simulé\n"
        "  vendalo --demo --ecran NOM[:ID] [--capture FICHIER.png]\n"
        "      ouvre un écran sur les données de démonstration (en mémoire, sans appel simulé) ;\n"
        "      avec --capture, l'enregistre en image et quitte\n");
    for (const Commande& c : commandes())
        t += QStringLiteral("  vendalo ") + c.usage + QStringLiteral("\n      ") + c.resume + QLatin1Char('\n');
    t += QStringLiteral(
        "\nLes données sont dans $XDG_DATA_HOME/Vendalo (ou ~/.local/share/Vendalo).\n"
        "Les résultats s'affichent en JSON ; les erreurs, en français, sur la sortie d'erreur.\n");
    return t;
}

} // namespace vd::app
