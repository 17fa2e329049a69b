#include "importcrm.h"

#include "model/texte.h"

namespace vd::crm {

QString normaliserEntete(const QString& texte)
{
    const QString plie = model::plier(texte);
    QString r;
    r.reserve(plie.size());
    bool separe = false;
    for (QChar c : plie) {
        if (c.isLetterOrNumber() || c == u'%') {
            if (separe && !r.isEmpty())
                r.append(u' ');
            separe = false;
            r.append(c.toLower());
        } else
            separe = true;
    }
    return r;
}

QString valeurMode(ModeDoublons m)
{
    switch (m) {
    case ModeDoublons::completer: return QStringLiteral("completer");
    case ModeDoublons::remplacer: return QStringLiteral("remplacer");
    case ModeDoublons::ignorer: return QStringLiteral("ignorer");
    case ModeDoublons::creer: return QStringLiteral("creer");
    }
    return {};
}

std::optional<ModeDoublons> modeDepuis(const QString& v)
{
    for (ModeDoublons m : {ModeDoublons::completer, ModeDoublons::remplacer, ModeDoublons::ignorer, ModeDoublons::creer})
        if (valeurMode(m) == v)
            return m;
    return std::nullopt;
}

QString titreMode(ModeDoublons m)
{
    switch (m) {
    case ModeDoublons::completer: return QStringLiteral("Mettre à jour les fiches existantes : champs vides seulement");
    case ModeDoublons::remplacer: return QStringLiteral("Mettre à jour les fiches existantes : tout remplacer");
    case ModeDoublons::ignorer: return QStringLiteral("Ignorer les doublons");
    case ModeDoublons::creer: return QStringLiteral("Créer quand même");
    }
    return {};
}

QString explicationMode(ModeDoublons m)
{
    switch (m) {
    case ModeDoublons::completer: return QStringLiteral("Complète ce qui manque, sans rien écraser. Recommandé.");
    case ModeDoublons::remplacer: return QStringLiteral("Les valeurs du fichier remplacent celles du CRM. Une cellule vide n'efface rien.");
    case ModeDoublons::ignorer: return QStringLiteral("Seuls les nouveaux contacts sont importés.");
    case ModeDoublons::creer: return QStringLiteral("Chaque ligne devient une nouvelle fiche, même en double.");
    }
    return {};
}

QList<ChampImport> champsImport(const QList<ItemQualification>& grille)
{
    static const char* const fixes[][3] = {
        {"prenom", "Prénom", "Identité"},
        {"nom", "Nom", "Identité"},
        {"nomComplet", "Nom complet (prénom et nom)", "Identité"},
        {"email", "Email", "Identité"},
        {"tel", "Téléphone", "Identité"},
        {"linkedin", "LinkedIn", "Identité"},
        {"societe", "Société", "Entreprise"},
        {"poste", "Poste", "Entreprise"},
        {"site", "Site web (dans les notes)", "Entreprise"},
        {"ville", "Ville (dans les notes)", "Entreprise"},
        {"etape", "Étape", "Affaire"},
        {"issue", "Issue (Gagné, Perdu)", "Affaire"},
        {"raisonPerte", "Raison de perte", "Affaire"},
        {"valeur", "Valeur (€)", "Affaire"},
        {"probabilite", "Probabilité (%)", "Affaire"},
        {"source", "Source", "Affaire"},
        {"profil", "Profil client", "Affaire"},
        {"tags", "Tags", "Affaire"},
        {"action", "Prochaine action", "Suivi"},
        {"echeanceAction", "Échéance de la prochaine action", "Suivi"},
        {"notes", "Notes", "Suivi"},
        {"noteLibre", "Ajouter aux notes", "Suivi"},
    };
    QList<ChampImport> l;
    for (const auto& f : fixes)
        l.append({QString::fromUtf8(f[0]), QString::fromUtf8(f[1]), QString::fromUtf8(f[2]), qstrcmp(f[0], "noteLibre") != 0});
    for (const ItemQualification& it : grille)
        l.append({QStringLiteral("qualif:") + it.id, it.nom, QStringLiteral("Qualification"), true});
    return l;
}

QList<ItemQualification> grilleDe(const QList<model::JSONValeur>& frameworks)
{
    auto items = [](const QJsonObject& fw) {
        QList<ItemQualification> l;
        for (const QJsonValue& v : fw.value(QStringLiteral("qualification")).toObject().value(QStringLiteral("items")).toArray()) {
            const QJsonObject o = v.toObject();
            const QString id = o.value(QStringLiteral("id")).toString().trimmed();
            if (!id.isEmpty())
                l.append({id, o.value(QStringLiteral("nom")).toString(), o.value(QStringLiteral("champ")).toString()});
        }
        return l;
    };
    std::optional<QJsonObject> choisi;
    for (const model::JSONValeur& f : frameworks) {
        const QJsonObject o = f.qt().toObject();
        if (o.value(QStringLiteral("actif")).toBool(true) && o.value(QStringLiteral("parDefaut")).toBool())
            choisi = o;
    }
    if (!choisi)
        for (const model::JSONValeur& f : frameworks)
            if (const QJsonObject o = f.qt().toObject(); !choisi && o.value(QStringLiteral("actif")).toBool(true))
                choisi = o;
    if (choisi)
        if (auto l = items(*choisi); !l.isEmpty())
            return l;
    return {{QStringLiteral("douleur"), QStringLiteral("Douleur"), QStringLiteral("douleur")},
            {QStringLiteral("budget"), QStringLiteral("Budget"), QStringLiteral("budget")},
            {QStringLiteral("decideur"), QStringLiteral("Décideur"), QStringLiteral("decideur")},
            {QStringLiteral("echeance"), QStringLiteral("Échéance"), QStringLiteral("echeance")}};
}

Resultat<TableauImport, ErreurTableur> construireTableau(const FeuilleTableur& f)
{
    if (f.lignes.isEmpty())
        return echec(ErreurTableur::illisible(QStringLiteral("Ce fichier ne contient aucune ligne.")));
    TableauImport t;
    t.entetes = f.lignes.first();
    for (QString& e : t.entetes)
        e = e.trimmed();
    int precedent = f.numeros.isEmpty() ? 1 : f.numeros.first();
    for (qsizetype i = 1; i < f.lignes.size(); ++i) {
        const int numero = f.numeros.isEmpty() ? int(i) + 1 : f.numeros[i];
        t.lignesVides += std::max(0, numero - precedent - 1);   // rows the workbook leaves out
        precedent = numero;
        const QStringList& cellules = f.lignes[i];
        const bool vide = std::all_of(cellules.cbegin(), cellules.cend(), [](const QString& c) { return c.trimmed().isEmpty(); });
        if (vide) {
            ++t.lignesVides;
            continue;
        }
        t.lignes.append({numero, cellules});
    }
    const qsizetype total = t.lignes.size() + f.lignesNonGardees;
    if (total == 0)
        return echec(ErreurTableur::illisible(QStringLiteral("« %1 » n'a qu'une ligne de titres, sans contact dessous.").arg(f.nom)));
    if (total > 20000)
        return echec(ErreurTableur::illisible(
            QStringLiteral("%1 lignes : 20 000 au plus par import. Découpez-le en plusieurs fichiers.").arg(total)));
    return t;
}

namespace {

const QHash<QString, QString>& synonymes()
{
    static const QHash<QString, QString> table = [] {
        const std::pair<const char*, const char*> lignes[] = {
            {"prenom", "prenom|first name|firstname|given name|prenom du contact|contact first name|person first name"},
            {"nom", "nom|last name|lastname|surname|family name|nom de famille|contact last name|person last name"},
            {"nomComplet", "nom complet|full name|fullname|name|contact|nom du contact|nom et prenom|prenom nom|nom prenom|contact name|"
                           "personne|interlocuteur|person name|prospect|lead name|nom prenom du contact"},
            {"email", "email|e mail|mail|adresse email|adresse e mail|adresse mail|courriel|email address|work email|email professionnel|"
                      "person email|contact email|emails"},
            {"tel", "telephone|tel|phone|phone number|mobile|portable|numero de telephone|telephone mobile|tel mobile|gsm|mobile phone|"
                    "mobile phone number|work phone|person phone|telephone portable|telephone fixe|numero"},
            {"linkedin", "linkedin|linkedin url|url linkedin|profil linkedin|linkedin profile|lien linkedin|linkedin profile url"},
            {"societe", "societe|entreprise|company|company name|organisation|organization|organization name|compte|account|account name|"
                        "raison sociale|client|nom de l entreprise|nom de la societe|employeur|structure"},
            {"poste", "poste|fonction|title|job title|titre|role|position|intitule de poste|job|intitule du poste"},
            {"site", "site web|site|website|website url|site internet|url|web|domaine|domain|company website|url du site"},
            {"ville", "ville|city|localite|commune|location|localisation|mailing city|ville de l entreprise"},
            {"etape", "etape|stage|statut|status|deal stage|phase|etape du pipeline|pipeline stage|lead status|etape de vente|lifecycle stage|"
                      "etape du cycle|statut du lead|etat|avancement"},
            {"issue", "issue|resultat|outcome|gagne perdu|won lost|issue de l affaire"},
            {"raisonPerte", "raison de perte|raison de la perte|motif de perte|lost reason|raison perdu|motif|raison|closed lost reason|motif de refus"},
            {"valeur", "valeur|montant|amount|deal value|value|valeur du deal|valeur de l affaire|montant du deal|chiffre d affaires|ca|deal amount|"
                       "opportunity amount|montant ht|valeur eur|valeur €|prix"},
            {"probabilite", "probabilite|probability|proba|probabilite de signer|probabilite %|probability %|% de chance|chance"},
            {"source", "source|origine|lead source|canal|provenance|source du lead|original source"},
            {"profil", "profil client|profil|persona|icp|client ideal|segment"},
            {"tags", "tags|tag|etiquettes|etiquette|labels|label|mots cles"},
            {"action", "prochaine action|next step|next action|action|prochaine etape|a faire|todo|tache|action suivante"},
            {"echeanceAction", "echeance prochaine action|echeance de la prochaine action|date prochaine action|date de la prochaine action|"
                               "date de relance|relance|date relance|relancer le|a relancer le|next step date|next action date|due date|"
                               "follow up date|date de rappel|rappel"},
            {"notes", "notes|note|commentaire|commentaires|description|remarques|remarque|comments|comment|details|informations|infos"},
            {"champ:budget", "budget|budget estime|enveloppe"},
            {"champ:decideur", "decideur|decision maker|decisionnaire|qui signe"},
            {"champ:echeance", "echeance|timeline|timing|close date|date de closing|date de signature prevue|date de cloture|"
                               "expected close date|date de signature"},
            {"champ:douleur", "douleur|pain|probleme|besoin|pain point|enjeu"},
        };
        QHash<QString, QString> t;
        for (const auto& [champ, liste] : lignes)
            for (const QString& s : QString::fromUtf8(liste).split(QLatin1Char('|')))
                t.insert(s, QString::fromUtf8(champ));
        return t;
    }();
    return table;
}

bool exportSeulement(const QString& n)
{
    static const QSet<QString> titres = {
        QStringLiteral("dernier appel"), QStringLiteral("nombre d appels"), QStringLiteral("nb appels"), QStringLiteral("score moyen"),
        QStringLiteral("cree le"), QStringLiteral("mis a jour le"), QStringLiteral("date de l issue"), QStringLiteral("id"),
        QStringLiteral("contact owner"), QStringLiteral("proprietaire"), QStringLiteral("create date"),
        QStringLiteral("last activity date"), QStringLiteral("date de creation"), QStringLiteral("derniere modification")};
    return titres.contains(n) || n.endsWith(QLatin1String(" id")) || n.startsWith(QLatin1String("id ")) || n == QLatin1String("uuid");
}

} // namespace

QStringList proposerColonnes(const TableauImport& t, const QList<ItemQualification>& grille)
{
    const qsizetype n = t.entetes.size();
    QStringList choix(n);
    QSet<QString> pris;
    auto prendre = [&](qsizetype i, const QString& champ) {
        const bool unique = champ != QLatin1String("noteLibre");
        if (unique && pris.contains(champ))
            return;
        choix[i] = champ;
        pris.insert(champ);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QString norm = normaliserEntete(t.entetes[i]);
        if (norm.isEmpty() || exportSeulement(norm))
            continue;
        QString champ;
        for (const ItemQualification& it : grille)
            if (normaliserEntete(it.nom) == norm)
                champ = QStringLiteral("qualif:") + it.id;
        if (champ.isEmpty())
            champ = synonymes().value(norm);
        if (champ.startsWith(QLatin1String("champ:"))) {
            const QString nomChamp = champ.mid(6);
            champ.clear();
            for (const ItemQualification& it : grille)
                if (it.champ == nomChamp) {
                    champ = QStringLiteral("qualif:") + it.id;
                    break;
                }
        }
        if (!champ.isEmpty())
            prendre(i, champ);
    }
    // Columns left over: judged on their contents.
    for (qsizetype i = 0; i < n; ++i) {
        if (!choix[i].isEmpty() || exportSeulement(normaliserEntete(t.entetes[i])))
            continue;
        int valeurs = 0, emails = 0, liens = 0, tels = 0;
        for (const auto& l : t.lignes) {
            const QString v = i < l.cellules.size() ? l.cellules[i].trimmed() : QString();
            if (v.isEmpty())
                continue;
            ++valeurs;
            if (emailValide(nettoyerEmail(v)))
                ++emails;
            if (v.toLower().contains(QLatin1String("linkedin.com/")))
                ++liens;
            if (ressembleTelephone(v))
                ++tels;
        }
        if (valeurs < 2)
            continue;
        if (!pris.contains(QStringLiteral("email")) && emails * 10 >= valeurs * 6)
            prendre(i, QStringLiteral("email"));
        else if (!pris.contains(QStringLiteral("linkedin")) && liens * 10 >= valeurs * 6)
            prendre(i, QStringLiteral("linkedin"));
        else if (!pris.contains(QStringLiteral("tel")) && tels * 10 >= valeurs * 8)
            prendre(i, QStringLiteral("tel"));
    }
    return choix;
}

QStringList valeursEtape(const TableauImport& t, const QStringList& correspondances)
{
    const qsizetype col = correspondances.indexOf(QStringLiteral("etape"));
    QStringList valeurs;
    if (col < 0)
        return valeurs;
    QSet<QString> vues;
    for (const auto& l : t.lignes) {
        const QString v = col < l.cellules.size() ? l.cellules[col].trimmed() : QString();
        if (!v.isEmpty() && !vues.contains(v)) {
            vues.insert(v);
            valeurs.append(v);
        }
    }
    return valeurs;
}

QString proposerEtape(const QString& valeur, const QList<EtapeImport>& etapes)
{
    if (etapes.isEmpty())
        return QStringLiteral("nouveau");
    const QString v = normaliserEntete(valeur);
    for (const EtapeImport& e : etapes)
        if (normaliserEntete(e.libelle) == v || e.id == v)
            return e.id;
    auto existe = [&](const QString& id) {
        return std::any_of(etapes.cbegin(), etapes.cend(), [&](const EtapeImport& e) { return e.id == id; });
    };
    if (existe(QStringLiteral("nouveau")) &&
        (v.startsWith(QLatin1String("a contacter")) || v.startsWith(QLatin1String("a appeler")) || v.startsWith(QLatin1String("to contact"))))
        return QStringLiteral("nouveau");
    static const std::pair<const char*, const char*> motsCles[] = {
        {"sommeil", "sommeil|dormant|en veille|nurtur|endormi"},
        {"perdu", "unqualif|non qualif|disqualif|lost|perdu|perte|abandon|sans suite|refus|ko|closed lost"},
        {"gagne", "won|gagn|sign|customer|client|closed won|vendu|conclu|deal ferme"},
        {"negociation", "nego|contrat|contract|review|closing|decision maker bought"},
        {"proposition", "propos|devis|quote|offre|proposal|opportunit|value prop|pricing|cotation"},
        {"demo", "demo|presentation|essai|trial|poc|perception"},
        {"decouverte", "decouv|qualif|discovery|needs|besoin|rdv|rendez|meeting|appointment|sql|sales qualified|id decision|analyse"},
        {"contacte", "contact|mql|marketing qualified|attempt|relance|connected|en cours|in progress|engage"},
        {"nouveau", "nouveau|new|lead|prospect|subscriber|a contacter|froid|cold|open|a traiter|inbound"},
    };
    for (const auto& [id, liste] : motsCles) {
        const QString etape = QString::fromLatin1(id);
        if (!existe(etape))
            continue;
        for (const QString& k : QString::fromLatin1(liste).split(QLatin1Char('|')))
            if (v == k || v.startsWith(k) || v.contains(QLatin1Char(' ') + k) || (k.size() > 3 && v.contains(k)))
                return etape;
    }
    return etapes.first().id;
}

QHash<QString, QString> proposerEtapes(const TableauImport& t, const QStringList& correspondances, const QList<EtapeImport>& etapes)
{
    QHash<QString, QString> h;
    for (const QString& v : valeursEtape(t, correspondances))
        h.insert(v, proposerEtape(v, etapes));
    return h;
}

std::optional<QString> verifierCorrespondances(const QStringList& c)
{
    for (const char* champ : {"prenom", "nom", "nomComplet", "societe", "email"})
        if (c.contains(QString::fromLatin1(champ)))
            return std::nullopt;
    return QStringLiteral("Choisissez au moins une colonne pour le nom, la société ou l'email.");
}

} // namespace vd::crm
