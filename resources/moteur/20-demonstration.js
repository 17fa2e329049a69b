// ==================================================================== démonstration
(function (M) {
  'use strict';
  var I = M._interne;
  var texte = I.texte, json = I.json, estObjet = I.estObjet, lire = I.lire;

  // Horodatage ISO d'un moment relatif à la référence : jours de décalage, heure locale.
  function quand(ref, jours, h, mn) {
    var d = new Date(ref.getFullYear(), ref.getMonth(), ref.getDate() + jours, h === undefined || h === null ? 9 : h, mn || 0, 0, 0);
    return d.toISOString();
  }
  function jourDecale(ref, jours) { return I.jour(new Date(ref.getFullYear(), ref.getMonth(), ref.getDate() + jours, 12)); }
  // Durées réalistes : environ 0,36 s par mot, des silences variés entre les tours,
  // et un chevauchement quand un tour est marqué « coupe ».
  function minuter(tours) {
    var pauses = [700, 950, 600, 1200, 800, 1050, 650];
    var t = 1200, r = [];
    for (var i = 0; i < tours.length; i++) {
      var x = tours[i];
      var duree = Math.max(900, Math.round(I.nombre(x[2], 0) || 0) || (380 + 360 * (texte(x[1]).split(/\s+/).length)));
      var debut = i === 0 ? t : (x[3] === 'coupe' ? t - 600 : t + pauses[i % pauses.length]);
      r.push({ locuteur: x[0], texte: x[1], debutMs: debut, finMs: debut + duree });
      t = debut + duree;
    }
    return r;
  }

  var V = 'vous', P = 'prospect';
  var SCENARIOS = {
    decouverte: {
      titre: 'Découverte avec Thermiq Services', contactId: 'c_morel', type: 'decouverte', methode: 'aucune', langue: 'fr',
      objectif: 'Faire chiffrer le temps perdu sur les plannings et obtenir une démo avec la directrice générale.',
      arrets: [11, 17, 25],
      tours: [
        [V, 'Bonjour Monsieur Morel, Camille Martin de Tempora. Merci de prendre ce moment. On a trente minutes : je vous propose de commencer par votre façon de travailler aujourd\'hui, ça vous va ?'],
        [P, 'Oui, très bien. Par contre j\'ai une réunion juste après, donc on tient les trente minutes.'],
        [V, 'Parfait, on tiendra l\'horaire. Alors, concrètement, comment se passe la planification de vos interventions aujourd\'hui ?'],
        [P, 'On a quarante-cinq techniciens sur trois agences. Les plannings sont faits sur un tableur partagé par deux assistantes, et tout se recale par téléphone dans la journée.'],
        [V, 'Et quand une urgence tombe en pleine journée, ça se passe comment'],
        [P, 'C\'est là qu\'on galère. On perd un temps fou à tout refaire, les techniciens font des kilomètres pour rien et des clients attendent.'],
        [V, 'Vous avez une idée de ce que ça vous coûte, en heures ou en argent ?'],
        [P, 'Les assistantes passent facilement dix heures par semaine à refaire les plannings. Et on a estimé à peu près 15 % de déplacements inutiles.'],
        [V, 'Dix heures par semaine, c\'est énorme. Qu\'est-ce qui se passe si rien ne change d\'ici l\'été'],
        [P, 'Honnêtement, on perd des contrats de maintenance. Deux clients sont partis l\'an dernier à cause des retards.'],
        [V, 'Je comprends. Est-ce que vous avez déjà regardé des solutions'],
        [P, 'On a testé un outil il y a deux ans, c\'était une usine à gaz. Les techniciens ne l\'ont jamais adopté.'],
        [V, 'C\'est une vraie question. Qu\'est-ce qui avait bloqué, précisément ?'],
        [P, 'Trop de saisie sur le téléphone. Nos gars veulent voir leur journée et valider en un clic, c\'est tout.'],
        [V, 'C\'est exactement ce que fait Tempora : le technicien voit sa tournée, valide l\'intervention en un geste, et le planning se recale tout seul quand une urgence arrive. Chez Ascenseurs Roux, les assistantes ont gagné huit heures de planification par semaine dès le deuxième mois.'],
        [P, 'D\'accord.', 900],
        [V, 'Et côté budget, vous avez prévu une enveloppe pour ce sujet cette année ?'],
        [P, 'On a une enveloppe d\'environ 15 000 euros par an. Mais d\'après ce que j\'ai vu sur votre site, c\'est un peu cher pour nous.'],
        [V, 'Je comprends. Par rapport à quoi ? Si on compare aux dix heures par semaine de vos assistantes, ça représente combien sur un an ?'],
        [P, 'Vu comme ça, c\'est vrai que ça se discute.'],
        [V, 'Qui d\'autre participe à la décision de votre côté ?'],
        [P, 'C\'est notre directrice générale, Mme Lefort, qui signe. Mais elle suit mon avis sur les outils terrain.'],
        [V, 'Très bien. Et pour quand voulez-vous que ce soit réglé ?'],
        [P, 'Idéalement, on veut démarrer d\'ici septembre, avant la saison de chauffe.'],
        [V, 'Ça laisse le temps de bien faire. Je vous propose une démo de trente minutes avec Mme Lefort, jeudi à 11 h. Ça vous convient ?'],
        [P, 'Jeudi 11 h, ça devrait aller. Envoyez-moi une documentation d\'ici là, que je la transmette.'],
        [V, 'Avec plaisir. Je vous envoie aujourd\'hui une page avec vos chiffres, et l\'invitation pour jeudi. Merci Monsieur Morel, à jeudi !'],
        [P, 'Merci, à jeudi.']
      ]
    },
    negociation: {
      titre: 'Négociation avec Lumen Facility', contactId: 'c_garnier', type: 'negociation', methode: 'aucune', langue: 'fr',
      objectif: 'Valider la proposition sans remise gratuite et fixer la date de signature.',
      arrets: [5, 9],
      tours: [
        [V, 'Bonjour Madame Garnier. Vous avez eu le temps de parcourir la proposition ?'],
        [P, 'Oui, merci. Sur le fond, ça nous convient. Mais je vais être directe : votre concurrent est moins cher de vingt pour cent.'],
        [V, 'Merci de le dire. Qu\'est-ce qu\'il vous apporte que nous n\'apportons pas ?'],
        [P, 'Rien de plus, honnêtement. Mais la direction regarde d\'abord le prix.'],
        [V, 'Je comprends. Rappelons ce que vous vouliez obtenir : vos chefs d\'équipe passaient une journée par semaine à recaler les interventions. Ça représente combien sur l\'année ?'],
        [P, 'On l\'avait estimé à environ 40 000 euros, oui.'],
        [V, 'Donc l\'écart de prix se rembourse en quelques semaines. Si on s\'engage sur deux ans, je peux vous offrir la formation des chefs d\'équipe. Est-ce que ça vous permet d\'avancer'],
        [P, 'Ça m\'aide. Il faut que je repasse par le comité de direction mardi.'],
        [V, 'Bien sûr. Qu\'est-ce que le comité voudra voir en premier ? Je vous prépare une page pour lui.'],
        [P, 'Le retour sur investissement, clairement, et le calendrier de déploiement.'],
        [V, 'Je vous envoie ça demain matin. Si le comité valide mardi, on peut signer la semaine prochaine et démarrer le premier du mois ?'],
        [P, 'Oui, c\'est jouable. On se rappelle mercredi pour confirmer.'],
        [V, 'Parfait, je vous appelle mercredi à 10 h. Merci Madame Garnier.']
      ]
    }
  };

  // Appel scénarisé de démonstration : {id, titre, contactId, type, objectif, methode, langue, arrets, tours}.
  M.scenarioDemo = function (idArg) {
    var id = texte(lire(idArg, idArg)).trim() || 'decouverte';
    var s = SCENARIOS[id];
    if (!s) throw new Error('Ce scénario de démonstration n\'existe pas : ' + id + '.');
    return json({ id: id, titre: s.titre, contactId: s.contactId, type: s.type, objectif: s.objectif, methode: s.methode, langue: s.langue, arrets: s.arrets, tours: minuter(s.tours) });
  };
  M.scenariosDemo = function () { return json(Object.keys(SCENARIOS).map(function (k) { return { id: k, titre: SCENARIOS[k].titre, contactId: SCENARIOS[k].contactId, type: SCENARIOS[k].type }; })); };
  I.SCENARIOS = SCENARIOS;
  I.minuter = minuter;

  var ENTREPRISE = {
    nom: 'Tempora', site: 'https://tempora.fr', secteur: 'Logiciel pour les entreprises de maintenance',
    description: 'Tempora aide les PME de maintenance et de services à planifier leurs interventions, guider leurs techniciens sur le terrain et suivre leurs contrats, sans tableur ni allers-retours au téléphone.',
    offre: { nom: 'Tempora Pro', description: 'Planning des interventions qui se recale tout seul, application mobile des techniciens, suivi des contrats de maintenance et rapports clients automatiques.', prix: '39 € par technicien et par mois, engagement annuel', cycleVente: '3 à 6 semaines' },
    benefices: ['Huit heures de planification gagnées par semaine en moyenne', 'Moins de déplacements inutiles grâce aux tournées optimisées', 'Des clients prévenus automatiquement de l\'arrivée du technicien', 'Des rapports d\'intervention signés sur place'],
    differenciant: 'Une application technicien pensée pour le terrain : la journée d\'un coup d\'œil et une validation en un geste, adoptée sans formation.',
    preuves: ['Ascenseurs Roux : huit heures de planning gagnées par semaine dès le deuxième mois', 'ElecPro Maintenance : 12 % de déplacements en moins sur six mois', '94 % des techniciens utilisent l\'application chaque jour'],
    concurrents: ['Tableurs partagés', 'Planifix', 'OptiTour']
  };
  var PROFILS = [
    { id: 'p_pme_maintenance', nom: 'PME de maintenance multi-agences', typeVente: 'B2B, cycle court', role: 'Directeur des opérations', secteur: 'Maintenance CVC, multiservice technique', taille: '20 à 150 techniciens', maturite: 'Tableur partagé et téléphone',
      douleurs: ['Plannings refaits à la main à chaque urgence', 'Déplacements inutiles des techniciens', 'Clients mécontents des retards', 'Rapports d\'intervention ressaisis au bureau'],
      objectifs: ['Tenir les délais des contrats de maintenance', 'Faire plus d\'interventions avec la même équipe', 'Soulager les assistantes de planification'],
      declencheurs: ['Perte d\'un contrat à cause des retards', 'Ouverture d\'une nouvelle agence', 'Départ d\'une assistante de planification'],
      criteres: ['Adoption par les techniciens', 'Prix par technicien', 'Mise en place en moins d\'un mois'] },
    { id: 'p_reseau_services', nom: 'Réseau de services à domicile', typeVente: 'B2B, plusieurs décideurs', role: 'Responsable réseau', secteur: 'Services à domicile en franchise', taille: '10 à 60 agences', maturite: 'Outils différents selon les agences',
      douleurs: ['Aucune vision consolidée de l\'activité du réseau', 'Chaque agence planifie à sa façon', 'Qualité de service inégale d\'une agence à l\'autre'],
      objectifs: ['Harmoniser les pratiques des agences', 'Suivre la qualité de service au niveau du réseau'],
      declencheurs: ['Nouvelle vague d\'ouvertures d\'agences', 'Réclamations clients en hausse'],
      criteres: ['Déploiement agence par agence', 'Tableau de bord réseau', 'Accompagnement des franchisés'] }
  ];
  var OBJECTIONS = [
    { id: 'o_prix', categorie: 'prix', libelle: 'C\'est trop cher.', reponse: 'Je comprends. Par rapport à quoi ? Combien d\'heures vos équipes passent-elles chaque semaine à refaire les plannings ? Mettons les deux chiffres côte à côte.' },
    { id: 'o_doc', categorie: 'documentation', libelle: 'Envoyez-moi une documentation.', reponse: 'Avec plaisir. Pour vous envoyer ce qui compte vraiment, quel point voulez-vous vérifier en premier : le terrain, le planning ou le prix ?' },
    { id: 'o_concurrence', categorie: 'concurrence', libelle: 'On a déjà un outil.', reponse: 'Très bien. Qu\'est-ce qu\'il ne règle pas encore pour vous aujourd\'hui ?' },
    { id: 'o_timing', categorie: 'timing', libelle: 'Ce n\'est pas le moment.', reponse: 'D\'accord. Qu\'est-ce qui aura changé d\'ici là ? Et si le bon moment arrive plus tôt, quel serait le signal ?' },
    { id: 'o_confiance', categorie: 'confiance', libelle: 'On a déjà essayé, ça n\'a pas marché.', reponse: 'Merci de le dire. Qu\'est-ce qui avait bloqué ? Je vous montre comment nous évitons précisément ce point.' },
    { id: 'o_decideur', categorie: 'decideur', libelle: 'Ce n\'est pas moi qui décide.', reponse: 'Bien sûr. Qu\'est-ce que votre direction voudra voir en premier ? Je vous prépare une page pour elle, et je peux venir la présenter avec vous.' }
  ];
  // Fiche des contacts : id, prénom, nom, poste, société, profil, étape, valeur, probabilité, source, jours depuis la création.
  var CONTACTS = [
    ['c_morel', 'Julien', 'Morel', 'Directeur des opérations', 'Thermiq Services', 'p_pme_maintenance', 'contacte', 21060, 10, 'Salon Interclima', 9],
    ['c_garnier', 'Sophie', 'Garnier', 'Directrice administrative et financière', 'Lumen Facility', 'p_pme_maintenance', 'negociation', 32760, 75, 'Recommandation', 46],
    ['c_benali', 'Karim', 'Benali', 'Gérant', 'Clim\'Azur', 'p_pme_maintenance', 'nouveau', 7020, 5, 'Formulaire du site', 2],
    ['c_marchand', 'Élodie', 'Marchand', 'Responsable réseau', 'Domicilia Services', 'p_reseau_services', 'decouverte', 56160, 20, 'LinkedIn', 18],
    ['c_roux', 'Thomas', 'Roux', 'Directeur technique', 'Ascenseurs Roux & Fils', 'p_pme_maintenance', 'demo', 14040, 35, 'Webinaire', 25],
    ['c_perrin', 'Nathalie', 'Perrin', 'Responsable planning', 'Hygiène Plus', 'p_pme_maintenance', 'proposition', 11700, 55, 'Appel sortant', 30],
    ['c_lambert', 'Pierre', 'Lambert', 'Président', 'ElecPro Maintenance', 'p_pme_maintenance', 'gagne', 25272, 100, 'Recommandation', 70],
    ['c_fontaine', 'Claire', 'Fontaine', 'Directrice des opérations', 'AquaService', 'p_pme_maintenance', 'perdu', 18720, 0, 'Salon Interclima', 60],
    ['c_girard', 'Mathieu', 'Girard', 'Directeur réseau', 'Confort Habitat', 'p_reseau_services', 'contacte', 42120, 10, 'LinkedIn', 12],
    ['c_leroy', 'Amandine', 'Leroy', 'Responsable SAV', 'Sécurifeu', 'p_pme_maintenance', 'decouverte', 9360, 20, 'Webinaire', 15],
    ['c_dubois', 'Olivier', 'Dubois', 'Gérant', 'Net & Vitres', 'p_pme_maintenance', 'nouveau', 4680, 5, 'Formulaire du site', 1],
    ['c_bernard', 'Julie', 'Bernard', 'Directrice du développement', 'Jardins de France Services', 'p_reseau_services', 'sommeil', 28080, 5, 'Appel sortant', 80]
  ];
  // Appels passés : id, contact, type, jours avant la référence, heure, tours, fiche d'analyse.
  var APPELS = [
    { id: 'a_garnier_demo', contactId: 'c_garnier', type: 'demo', jours: -12, heure: 10, objectif: 'Montrer le recalage automatique aux chefs d\'équipe.',
      tours: [
        [V, 'Bonjour Madame Garnier, merci d\'avoir réuni vos chefs d\'équipe. Qu\'est-ce qui compte le plus pour eux dans cette démo ?'],
        [P, 'Surtout les urgences. Aujourd\'hui, une urgence, c\'est une demi-journée de coups de téléphone.'],
        [V, 'Je vous montre exactement ce moment. Une fuite arrive à 10 h : Tempora propose le technicien le plus proche, et le planning des autres se recale tout seul.'],
        [P, 'Ah oui, là on gagne vraiment du temps.'],
        [V, 'Sur ce que je viens de montrer, qu\'est-ce qui changerait le plus pour votre équipe ?'],
        [P, 'Les chefs d\'équipe récupéreraient une journée par semaine, facilement. On l\'avait estimé à environ 40 000 euros par an.'],
        [V, 'Qui d\'autre doit valider avant qu\'on passe à une proposition ?'],
        [P, 'Le comité de direction, mais c\'est moi qui porte le dossier. Je vais le défendre.'],
        [V, 'Parfait. Je vous envoie la proposition vendredi et on la relit ensemble mardi ?'],
        [P, 'Très bien, mardi 14 h.']
      ],
      fiche: { score: 78, verdict: 'Démo bien ciblée, la valeur est chiffrée par la prospecte.', sentiment: 0.6,
        resume: 'Démo centrée sur la gestion des urgences, la douleur principale. Sophie Garnier chiffre le gain à 40 000 € par an et se pose en championne du dossier. Proposition envoyée vendredi, relecture mardi 14 h.',
        dims: { decouverte: 74, engagement: 82, valeur: 85, ecoute: 76, objections: 70, closing: 78 },
        pointFort: 'Vous avez montré uniquement le moment qui fait mal, les urgences, et fait chiffrer le gain.', aTravailler: 'Le comité de direction reste une boîte noire : qui y siège et sur quels critères ?', conseil: 'Avant mardi, demandez qui siège au comité et ce que chacun regarde en premier.',
        prochaine: 'Relire la proposition ensemble', echeance: 4, etape: 'proposition', proba: 55,
        email: ['Votre démo Tempora et la suite', 'Bonjour Sophie,\n\nMerci pour cet échange avec vos chefs d\'équipe. Comme convenu, vous recevrez la proposition vendredi, et nous la relisons ensemble mardi à 14 h.\n\nBien à vous,\nCamille'] } },
    { id: 'a_roux_decouverte', contactId: 'c_roux', type: 'decouverte', jours: -8, heure: 15, objectif: 'Comprendre l\'organisation des tournées de maintenance.',
      tours: [
        [V, 'Bonjour Monsieur Roux. Comment organisez-vous les visites de maintenance des ascenseurs aujourd\'hui ?'],
        [P, 'Chaque technicien a son secteur, et on imprime les tournées le lundi. Le problème, c\'est les pannes : tout est à refaire.'],
        [V, 'Ça vous prend combien de temps, ces recalages'],
        [P, 'Mon assistante y passe une journée par semaine, au moins.'],
        [V, 'Et quel budget avez-vous prévu pour régler ça ?'],
        [P, 'On n\'a pas encore de budget. Je dois en parler avec mon père, c\'est lui qui signe.'],
        [V, 'Je comprends. Je vous propose une démo avec lui la semaine prochaine ?'],
        [P, 'D\'accord, mais envoyez-moi une documentation avant, il voudra la lire.']
      ],
      fiche: { score: 71, verdict: 'Bonne découverte de la douleur, le décideur reste à convaincre.', sentiment: 0.3,
        resume: 'Thomas Roux perd une journée d\'assistante par semaine à recaler les tournées après les pannes. Pas de budget prévu ; son père signe. Démo à organiser avec lui, documentation demandée avant.',
        dims: { decouverte: 76, engagement: 68, valeur: 64, ecoute: 80, objections: 62, closing: 70 },
        pointFort: 'Questions ouvertes et courtes : le prospect a décrit sa douleur lui-même.', aTravailler: 'La demande de documentation a été acceptée sans la qualifier.', conseil: 'Face à « envoyez-moi une doc », demandez quel point il veut vérifier en premier.',
        prochaine: 'Démo avec M. Roux père', echeance: 6, etape: 'demo', proba: 35,
        email: ['Vos tournées de maintenance', 'Bonjour Thomas,\n\nMerci pour votre temps. Vous trouverez ci-joint une page sur le recalage automatique des tournées après une panne. Quel créneau arrange votre père pour la démo ?\n\nBien à vous,\nCamille'] } },
    { id: 'a_lambert_closing', contactId: 'c_lambert', type: 'closing', jours: -20, heure: 11, objectif: 'Obtenir la signature.',
      tours: [
        [V, 'Bonjour Monsieur Lambert. Il nous reste à caler le démarrage. Qu\'est-ce qu\'il vous faut encore pour signer ?'],
        [P, 'Rien de bloquant. Je voulais juste être sûr de la formation des techniciens.'],
        [V, 'Elle est incluse : une demi-journée par agence, sur le terrain. Quelle date de démarrage vous arrange ?'],
        [P, 'Le premier du mois prochain, ce serait idéal.'],
        [V, 'C\'est noté. Je vous envoie le bon de commande aujourd\'hui.'],
        [P, 'Parfait, je le signe dès réception.']
      ],
      fiche: { score: 86, verdict: 'Closing net : dernier frein levé, date de démarrage fixée.', sentiment: 0.8,
        resume: 'Pierre Lambert signe : seule la formation des techniciens restait à confirmer. Démarrage le premier du mois suivant.',
        dims: { decouverte: 70, engagement: 90, valeur: 84, ecoute: 82, objections: 88, closing: 95 },
        pointFort: 'Vous avez isolé le dernier frein avec une seule question.', aTravailler: 'Profitez d\'un client satisfait pour demander une recommandation.', conseil: 'Au prochain point, demandez à qui d\'autre Tempora pourrait rendre service.',
        prochaine: 'Lancer le déploiement', echeance: -10, etape: 'gagne', proba: 100,
        email: ['Bienvenue chez Tempora', 'Bonjour Pierre,\n\nMerci pour votre confiance. Vous trouverez le bon de commande ci-joint ; le démarrage est prévu le premier du mois.\n\nBien à vous,\nCamille'] } },
    { id: 'a_fontaine_nego', contactId: 'c_fontaine', type: 'negociation', jours: -30, heure: 16, objectif: 'Défendre le prix face au budget serré.',
      tours: [
        [V, 'Bonjour Madame Fontaine. Où en êtes-vous de votre côté ?'],
        [P, 'Franchement, c\'est trop cher pour nous cette année. Notre budget est gelé.'],
        [V, 'Je peux faire un geste de quinze pour cent si vous signez ce mois-ci.'],
        [P, 'Même avec ça, ce n\'est pas le moment. On verra l\'année prochaine.'],
        [V, 'D\'accord, je vous rappelle en janvier alors.']
      ],
      fiche: { score: 52, verdict: 'Remise proposée trop tôt, sans contrepartie ni rappel de la valeur.', sentiment: -0.4,
        resume: 'Claire Fontaine annonce un budget gelé. Une remise de 15 % est proposée sans contrepartie et ne change rien : le projet est repoussé à l\'année prochaine.',
        dims: { decouverte: 45, engagement: 50, valeur: 40, ecoute: 60, objections: 42, closing: 55 },
        pointFort: 'Vous avez gardé une porte ouverte avec une date de rappel.', aTravailler: 'La remise est arrivée avant tout rappel de la valeur.', conseil: 'Face au prix, demandez « par rapport à quoi ? » et rappelez le coût du problème avant toute concession.',
        prochaine: 'Rappeler en janvier', echeance: 35, etape: 'perdu', proba: 0,
        email: ['Notre échange', 'Bonjour Claire,\n\nMerci pour votre franchise. Je reviens vers vous en janvier, quand votre budget sera ouvert.\n\nBien à vous,\nCamille'] } },
    { id: 'a_perrin_demo', contactId: 'c_perrin', type: 'demo', jours: -5, heure: 9, objectif: 'Démo de l\'application technicien.',
      tours: [
        [V, 'Bonjour Nathalie. Vous m\'aviez parlé des rapports d\'intervention ressaisis au bureau. Je commence par là ?'],
        [P, 'Oui, c\'est notre plus gros souci. On ressaisit tout le soir, et il y a des erreurs.'],
        [V, 'Voici le rapport signé sur place par le client, envoyé automatiquement. Qu\'est-ce qui manque pour que ça marche chez vous ?'],
        [P, 'Il faudrait pouvoir ajouter des photos. Et on a déjà un outil de facturation.'],
        [V, 'Les photos sont incluses, et nous exportons vers votre facturation. Qui doit valider la suite ?'],
        [P, 'Notre gérant. Je lui présente ça la semaine prochaine.'],
        [V, 'Je vous prépare une proposition d\'ici vendredi.']
      ],
      fiche: { score: 74, verdict: 'Démo reliée à la douleur dite, objection outil existant bien traitée.', sentiment: 0.5,
        resume: 'Nathalie Perrin veut supprimer la ressaisie des rapports. Photos et export vers la facturation rassurent. Le gérant valide ; proposition promise pour vendredi.',
        dims: { decouverte: 68, engagement: 76, valeur: 80, ecoute: 74, objections: 72, closing: 70 },
        pointFort: 'Démo ouverte directement sur la douleur dite en découverte.', aTravailler: 'La prochaine étape n\'a pas de date avec le gérant.', conseil: 'Proposez d\'assister à la présentation au gérant, avec une date.',
        prochaine: 'Envoyer la proposition', echeance: -1, etape: 'proposition', proba: 55,
        email: ['Votre proposition Tempora', 'Bonjour Nathalie,\n\nMerci pour la démo. Vous recevrez la proposition vendredi, avec l\'export vers votre facturation.\n\nBien à vous,\nCamille'] } },
    // This week's calls, before the reference whatever its weekday and hour: the exercise of the week judges them.
    { id: 'a_leroy_decouverte', contactId: 'c_leroy', type: 'decouverte', jours: function (ref) { return ref.getDay() === 1 ? 0 : -1; },
      heure: function (ref) { return ref.getDay() === 1 ? Math.max(0, ref.getHours() - 4) : 14; }, objectif: 'Comprendre comment les visites de contrôle sont planifiées.',
      tours: [
        [V, 'Bonjour Madame Leroy, merci pour ce moment. Comment se passent vos visites de contrôle aujourd\'hui ?'],
        [P, 'On a trente techniciens pour les extincteurs et les alarmes. Les visites annuelles sont sur un tableur, et ça coince tous les mois.'],
        [V, 'Qu\'est-ce qui coince le plus ?'],
        [P, 'Les clients qui annulent. Il faut tout recaler à la main, et on rate des dates de contrôle obligatoires.'],
        [V, 'Qu\'est-ce qui vous fait dire que vous en ratez ? Vous avez eu des remarques ?'],
        [P, 'Oui, deux réclamations le trimestre dernier. Un contrôle réglementaire en retard, chez nous, c\'est grave.'],
        [V, 'Combien de temps votre équipe passe-t-elle à recaler ces visites ?'],
        [P, 'Mon assistante, une journée et demie par semaine, à peu près.'],
        [V, 'Et qui d\'autre en souffre ? Qu\'est-ce que ça vous coûte, à vous ?'],
        [P, 'Les techniciens perdent du temps sur la route, et moi je passe mes vendredis à rappeler les clients.'],
        [V, 'Si ce recalage se faisait tout seul, qu\'est-ce que vous feriez de ce temps ?'],
        [P, 'On prendrait enfin les nouveaux contrats qu\'on refuse aujourd\'hui.'],
        [V, 'Qui doit être dans la boucle pour avancer ? Et pour quand voulez-vous que ce soit réglé ?'],
        [P, 'Notre directeur, Monsieur Faure. Idéalement avant la campagne de printemps.'],
        [V, 'Je vous envoie demain le cas ElecPro, très proche du vôtre. On se revoit jeudi 10 h avec Monsieur Faure ?'],
        [P, 'Jeudi 10 h, c\'est noté.']
      ],
      fiche: { score: 77, verdict: 'Découverte fouillée : la douleur est chiffrée et le décideur sera là.', sentiment: 0.6,
        resume: 'Amandine Leroy recale à la main les visites de contrôle annulées : une journée et demie d\'assistante par semaine et deux réclamations le trimestre dernier. Son directeur, M. Faure, rejoint le prochain échange jeudi 10 h.',
        dims: { decouverte: 78, engagement: 74, valeur: 66, ecoute: 80, objections: 76, closing: 76 },
        pointFort: 'Chaque réponse a été creusée par une deuxième question.', aTravailler: 'La valeur n\'a pas encore été reliée au coût des réclamations.', conseil: 'Jeudi, chiffrez avec M. Faure ce que coûte un contrôle en retard.',
        prochaine: 'Point avec M. Faure', echeance: 2, etape: 'decouverte', proba: 25,
        moments: [{ tour: 7, type: 'positif', texte: 'La prospecte chiffre elle-même le coût : une journée et demie par semaine.' },
          { tour: 15, type: 'positif', texte: 'Rendez-vous daté avec le décideur, accepté sans hésiter.' }],
        email: ['Le cas ElecPro et notre point de jeudi', 'Bonjour Amandine,\n\nMerci pour cet échange. Voici le cas ElecPro, dont l\'organisation ressemble beaucoup à la vôtre. À jeudi 10 h avec Monsieur Faure.\n\nBien à vous,\nCamille'] } },
    { id: 'a_dubois_prospection', contactId: 'c_dubois', type: 'prospection', jours: 0, heure: function (ref) { return Math.max(0, ref.getHours() - 2); },
      objectif: 'Qualifier la demande reçue par le formulaire.',
      tours: [
        [V, 'Bonjour Monsieur Dubois, Camille, de Tempora. Vous avez rempli notre formulaire hier : vous avez deux minutes ?'],
        [P, 'Oui, rapidement. J\'ai douze laveurs de vitres et je voulais connaître vos tarifs.'],
        [V, 'Alors je vous explique tout. Tempora planifie vos interventions, l\'application guide vos laveurs sur le terrain, les rapports sont signés sur place et vos clients sont prévenus automatiquement de l\'arrivée de l\'équipe. C\'est 39 euros par technicien et par mois, avec un engagement annuel, et la mise en place prend moins d\'un mois, formation comprise.'],
        [P, 'Trente-neuf euros par personne, ça fait quand même cher pour nous.'],
        [V, 'C\'est le prix de l\'outil complet. Je peux vous envoyer une documentation.'],
        [P, 'Oui, envoyez, je regarderai.'],
        [V, 'Je vous rappelle mardi prochain à 9 h pour en parler ?'],
        [P, 'D\'accord, mardi 9 h.']
      ],
      fiche: { score: 58, verdict: 'Présentation avant la découverte : le prix arrive sans valeur à laquelle le comparer.', sentiment: -0.1,
        resume: 'Olivier Dubois, douze laveurs de vitres, voulait les tarifs. L\'offre est présentée d\'un bloc avant toute question ; le prix est jugé cher et une documentation part sans qualification. Rappel mardi 9 h.',
        dims: { decouverte: 52, engagement: 62, valeur: 60, ecoute: 58, objections: 60, closing: 72 },
        pointFort: 'Vous avez obtenu un rappel daté malgré un appel difficile.', aTravailler: 'Aucune question sur son organisation avant de donner le prix.', conseil: 'Demandez d\'abord comment il organise ses tournées aujourd\'hui.',
        prochaine: 'Rappeler M. Dubois', echeance: 7, etape: 'contacte', proba: 10,
        objections: [{ libelle: 'C\'est trop cher.', categorie: 'prix', tour: 3, traitement: 'mal', reponseDonnee: 'C\'est le prix de l\'outil complet. Je peux vous envoyer une documentation.',
          meilleureReponse: 'Par rapport à quoi ? Combien d\'heures passez-vous chaque semaine à organiser les tournées de vos douze laveurs ?' }],
        moments: [{ tour: 2, type: 'negatif', texte: 'Présentation complète de l\'offre avant la moindre question sur son activité.' }],
        email: ['Votre demande Tempora', 'Bonjour Olivier,\n\nMerci pour votre temps. Voici la documentation promise ; je vous rappelle mardi à 9 h pour voir ce qui compte pour vos équipes.\n\nBien à vous,\nCamille'] } },
    // Older calls, 30 to 60 days back: the competences of the last 30 days are compared with them.
    { id: 'a_lambert_decouverte', contactId: 'c_lambert', type: 'decouverte', jours: -52, heure: 10, objectif: 'Comprendre l\'organisation des agences.',
      tours: [
        [V, 'Bonjour Monsieur Lambert. Je vous présente Tempora : nous planifions les interventions des entreprises de maintenance.'],
        [P, 'On a trois agences, chacune fait son planning dans son coin.'],
        [V, 'Notre outil centralise tout, avec une application pour les techniciens et des rapports automatiques.'],
        [P, 'Et ça se met en place comment ?'],
        [V, 'En moins d\'un mois, formation comprise. Je vous montre une démo le mois prochain ?'],
        [P, 'Pourquoi pas, oui.']
      ],
      fiche: { score: 63, verdict: 'Beaucoup de présentation, peu de questions sur les agences.', sentiment: 0.2,
        resume: 'Pierre Lambert gère trois agences qui planifient chacune de leur côté. La présentation a pris le pas sur la découverte ; démo proposée le mois suivant.',
        dims: { decouverte: 56, engagement: 82, valeur: 60, ecoute: 74, objections: 58, closing: 64 },
        pointFort: 'Le prospect est resté engagé et a posé ses questions.', aTravailler: 'Aucune question sur ce que coûte l\'éclatement des plannings.', conseil: 'Demandez ce que chaque agence perd à planifier seule.',
        prochaine: 'Démo Tempora', echeance: -38, etape: 'decouverte', proba: 20,
        email: ['Tempora et vos trois agences', 'Bonjour Pierre,\n\nMerci pour cet échange. Je vous propose une démo le mois prochain pour vos trois agences.\n\nBien à vous,\nCamille'] } },
    { id: 'a_fontaine_demo', contactId: 'c_fontaine', type: 'demo', jours: -44, heure: 14, objectif: 'Montrer les tournées optimisées.',
      tours: [
        [V, 'Bonjour Madame Fontaine. Je vous montre les tournées optimisées : voici la journée d\'un technicien, recalculée automatiquement.'],
        [P, 'C\'est joli, mais ce n\'est peut-être pas le moment pour nous.'],
        [V, 'Je comprends. Regardez aussi les rapports signés sur place, vos clients les reçoivent tout de suite.'],
        [P, 'Oui, d\'accord.'],
        [V, 'Je vous envoie une proposition la semaine prochaine.'],
        [P, 'Envoyez toujours.']
      ],
      fiche: { score: 62, verdict: 'Démo déroulée sans lien avec la situation de la prospecte.', sentiment: 0,
        resume: 'Démo des tournées et des rapports à Claire Fontaine, qui doute du moment. L\'objection n\'a pas été creusée ; proposition promise la semaine suivante.',
        dims: { decouverte: 54, engagement: 84, valeur: 62, ecoute: 76, objections: 54, closing: 66 },
        pointFort: 'Démo fluide et visuelle.', aTravailler: 'L\'objection « pas le moment » a été contournée au lieu d\'être creusée.', conseil: 'Demandez ce qui aura changé quand ce sera le bon moment.',
        prochaine: 'Envoyer la proposition', echeance: -37, etape: 'proposition', proba: 30,
        objections: [{ libelle: 'Ce n\'est pas le moment.', categorie: 'timing', tour: 1, traitement: 'partiel', reponseDonnee: 'Je comprends. Regardez aussi les rapports signés sur place.',
          meilleureReponse: 'D\'accord. Qu\'est-ce qui aura changé d\'ici là ? Et si le bon moment arrive plus tôt, quel serait le signal ?' }],
        email: ['Votre démo Tempora', 'Bonjour Claire,\n\nMerci pour votre temps. Vous recevrez notre proposition la semaine prochaine.\n\nBien à vous,\nCamille'] } },
    { id: 'a_lambert_demo', contactId: 'c_lambert', type: 'demo', jours: -38, heure: 11, objectif: 'Démo pour les trois agences.',
      tours: [
        [V, 'Bonjour Monsieur Lambert. Vous m\'aviez parlé de vos trois plannings séparés : je commence par la vue commune ?'],
        [P, 'Oui. Mais on a déjà un outil de planning, vous savez.'],
        [V, 'Très bien. Qu\'est-ce qu\'il ne règle pas encore pour vous aujourd\'hui ?'],
        [P, 'Les urgences. Il faut tout refaire à la main dès qu\'un client appelle.'],
        [V, 'Regardez : l\'urgence arrive, le technicien le plus proche est proposé et le reste du planning se recale.'],
        [P, 'Ça, c\'est exactement ce qui nous manque.'],
        [V, 'On prépare le démarrage ensemble dans trois semaines ?'],
        [P, 'Oui, faisons ça.']
      ],
      fiche: { score: 70, verdict: 'Objection outil existant bien creusée, la démo touche la vraie douleur.', sentiment: 0.6,
        resume: 'Pierre Lambert a déjà un outil qui ne gère pas les urgences. La démo du recalage automatique le convainc ; démarrage à préparer sous trois semaines.',
        dims: { decouverte: 64, engagement: 86, valeur: 68, ecoute: 75, objections: 64, closing: 74 },
        pointFort: 'L\'objection « on a déjà un outil » a ouvert la vraie douleur.', aTravailler: 'Le gain n\'a pas été chiffré avec le prospect.', conseil: 'Faites chiffrer le temps perdu sur les urgences.',
        prochaine: 'Préparer le démarrage', echeance: -20, etape: 'negociation', proba: 70,
        objections: [{ libelle: 'On a déjà un outil.', categorie: 'concurrence', tour: 1, traitement: 'bien', reponseDonnee: 'Très bien. Qu\'est-ce qu\'il ne règle pas encore pour vous aujourd\'hui ?',
          meilleureReponse: 'Qu\'est-ce qu\'il ne règle pas encore pour vous aujourd\'hui ?' }],
        moments: [{ tour: 5, type: 'positif', texte: 'Le prospect reconnaît que le recalage des urgences est exactement ce qui lui manque.' }],
        email: ['Le démarrage de Tempora', 'Bonjour Pierre,\n\nMerci pour la démo. Préparons le démarrage de vos trois agences dans les trois semaines.\n\nBien à vous,\nCamille'] } }
  ];

  function analyseDeFiche(f, appel, ref, debut) {
    var brute = M._interne.analyseBrute ? JSON.parse(JSON.stringify(M._interne.analyseBrute(appel))) : {};
    var dims = {};
    Object.keys(f.dims).forEach(function (k) { dims[k] = { score: f.dims[k], commentaire: '', preuve: '' }; });
    if (brute.dimensions) Object.keys(dims).forEach(function (k) { if (brute.dimensions[k]) { dims[k].commentaire = brute.dimensions[k].commentaire; dims[k].preuve = brute.dimensions[k].preuve; } });
    brute.score = f.score; brute.verdict = f.verdict; brute.sentiment = f.sentiment; brute.resume = f.resume; brute.dimensions = dims;
    brute.coaching = { pointFort: f.pointFort, aTravailler: f.aTravailler, conseil: f.conseil };
    brute.email = { objet: f.email[0], corps: f.email[1] };
    brute.prochainesEtapes = [{ action: f.prochaine, responsable: 'Camille', echeance: jourDecale(ref, f.echeance) }];
    // Objections and moments written for the demonstration point at a turn of the transcript.
    function aTour(x) { var y = JSON.parse(JSON.stringify(x)); if (typeof y.tour === 'number' && appel.transcript[y.tour]) y.tMs = appel.transcript[y.tour].debutMs; delete y.tour; return y; }
    if (f.objections) brute.objections = f.objections.map(aTour);
    if (f.moments) brute.moments = f.moments.map(aTour);
    brute.crm = { etapeSuggeree: f.etape, probabilite: f.proba, resumeInteraction: f.resume, prochaineAction: f.prochaine, champs: (brute.crm && brute.crm.champs) || {} };
    var fin = M.finaliserAnalyse ? JSON.parse(M.finaliserAnalyse(JSON.stringify(brute), JSON.stringify(appel), JSON.stringify({ modele: 'claude-sonnet-5-5', source: 'demo' }))) : brute;
    return fin;
  }

  // État complet de démonstration (entreprise, profils, objections, contacts, appels analysés…).
  M.etatDemo = function (referenceArg) {
    var ref = referenceArg === undefined || referenceArg === null || referenceArg === '' ? new Date() : I.dateRef(referenceArg);
    var maintenant = quand(ref, 0, ref.getHours(), ref.getMinutes());
    var contacts = CONTACTS.map(function (c) {
      var r = { id: c[0], prenom: c[1], nom: c[2], poste: c[3], societe: c[4], profilClientId: c[5], etape: c[6], valeur: c[7], probabilite: c[8], source: c[9],
        email: I.plier(c[1]).replace(/[^a-z]/g, '') + '.' + I.plier(c[2]).replace(/[^a-z]/g, '') + '@' + I.plier(c[4]).replace(/[^a-z]/g, '') + '.fr',
        tel: '06 ' + (12 + CONTACTS.indexOf(c)) + ' 45 78 ' + (10 + CONTACTS.indexOf(c) * 7 % 89),
        linkedin: '', tags: [], notes: '', champs: { budget: '', decideur: '', echeance: '', douleur: '' },
        creeLe: quand(ref, -c[10], 9, 30), majLe: maintenant, test: true };
      return r;
    });
    function contact(id) { for (var i = 0; i < contacts.length; i++) if (contacts[i].id === id) return contacts[i]; return null; }
    contact('c_morel').notes = 'Rencontré au salon Interclima. 45 techniciens sur trois agences, plannings sur tableur.';
    contact('c_morel').prochaineAction = { texte: 'Appel de découverte', echeance: jourDecale(ref, 0) };
    contact('c_morel').tags = ['salon', 'cvc'];
    contact('c_garnier').champs = { budget: 'Environ 40 000 € de gain estimé par an', decideur: 'Comité de direction ; Sophie Garnier porte le dossier', echeance: 'Démarrage visé le mois prochain', douleur: 'Une journée par semaine perdue sur les urgences' };
    contact('c_garnier').prochaineAction = { texte: 'Négociation : valider la proposition', echeance: jourDecale(ref, 1) };
    contact('c_garnier').registre = { valeur: 'vous', confiance: 0.9, le: quand(ref, -12, 10, 30), appelId: 'a_garnier_demo' };
    contact('c_roux').champs = { budget: 'Pas encore de budget', decideur: 'Son père signe', echeance: '', douleur: 'Une journée d\'assistante par semaine à recaler les tournées' };
    contact('c_roux').prochaineAction = { texte: 'Démo avec M. Roux père', echeance: jourDecale(ref, 3) };
    contact('c_perrin').prochaineAction = { texte: 'Relancer sur la proposition', echeance: jourDecale(ref, 2) };
    contact('c_perrin').champs.douleur = 'Rapports d\'intervention ressaisis le soir';
    contact('c_lambert').issueLe = quand(ref, -20, 11, 30); contact('c_lambert').issueVue = quand(ref, -19, 9, 0); contact('c_lambert').etapeAvantIssue = 'negociation';
    contact('c_fontaine').raisonPerte = 'Budget gelé jusqu\'à l\'an prochain'; contact('c_fontaine').issueLe = quand(ref, -30, 16, 30); contact('c_fontaine').etapeAvantIssue = 'negociation';
    contact('c_fontaine').prochaineAction = { texte: 'Rappeler quand le budget sera ouvert', echeance: jourDecale(ref, 35) };
    contact('c_bernard').etapeAvantSommeil = 'contacte'; contact('c_bernard').sommeilLe = quand(ref, -10, 9, 0);
    contact('c_marchand').registre = { valeur: 'tu', confiance: 0.8, le: quand(ref, -18, 14, 0), appelId: '' };
    contact('c_marchand').prochaineAction = { texte: 'Présenter le tableau de bord réseau', echeance: jourDecale(ref, 5) };
    contact('c_girard').prochaineAction = { texte: 'Rappeler pour fixer la découverte', echeance: jourDecale(ref, -1) };
    contact('c_leroy').prochaineAction = { texte: 'Envoyer le cas client ElecPro', echeance: jourDecale(ref, 1) };

    var appels = [], interactions = [];
    // The demonstration analyses read the demonstration's own data, never what was loaded before.
    var etatAvant = I.etat();
    I.definirEtat({ reglages: { commercial: { prenom: 'Camille' } }, contacts: contacts, frameworks: [frameworkDemo(quand(ref, -60, 9, 0))], objections: OBJECTIONS, questionsFavorites: [] });
    try {
    APPELS.forEach(function (x) {
      var tours = minuter(x.tours);
      var debut = quand(ref, typeof x.jours === 'function' ? x.jours(ref) : x.jours, typeof x.heure === 'function' ? x.heure(ref) : x.heure, 0);
      var duree = Math.round(tours[tours.length - 1].finMs / 1000);
      var appel = { id: x.id, contactId: x.contactId, type: x.type, objectif: x.objectif, methode: 'aucune', langue: 'fr', source: 'micro+mac', debut: debut,
        duree: duree, statut: 'analyse', aides: [], detections: [], momentsMarques: [], notes: [], creeLe: debut, majLe: debut, moteurTranscription: 'soniox', modeleAnalyse: 'claude-sonnet-5-5',
        transcript: tours.map(function (t) { return { id: 's_' + t.debutMs, locuteur: t.locuteur, texte: t.texte, debutMs: t.debutMs, finMs: t.finMs }; }) };
      appel.metriques = I.calculerMetriques(appel);
      appel.prochaineEtape = { texte: x.fiche.prochaine, echeance: jourDecale(ref, x.fiche.echeance) };
      appel.analyse = analyseDeFiche(x.fiche, appel, ref, debut);
      appels.push(appel);
      interactions.push({ id: 'i_' + x.id, contactId: x.contactId, type: 'appel', date: debut, titre: 'Appel de ' + (M.donnees.LIBELLES_TYPES_APPEL[x.type] || x.type).toLowerCase(), resume: x.fiche.resume, appelId: x.id, creeLe: debut, majLe: debut });
    });
    } finally {
      I.definirEtat(etatAvant);
    }
    // Follow-ups of the demonstration: a proposal on each of these calls, activated on the call's day.
    function relanceDemo(appelId, rythme, envoyees) {
      var a = appels.filter(function (x) { return x.id === appelId; })[0];
      var c = a && contact(a.contactId);
      if (!c) return;
      var s = JSON.parse(M.planRelances({ dateAppel: a.debut, type: a.type, reglages: { rythme: rythme }, contact: c, appelId: a.id, preparee: a.debut, entreprise: ENTREPRISE }));
      a.analyse.relances = JSON.parse(JSON.stringify(s));
      s = JSON.parse(M.activerRelance(s, { aujourdhui: a.debut.slice(0, 10) }));
      for (var k = 0; k < envoyees && k < s.etapes.length; k++) {
        s = JSON.parse(M.envoyerEtapeRelance(s, s.etapes[k].id, { canal: 'email', le: s.etapes[k].date + 'T09:30:00.000Z' }));
      }
      c.relance = JSON.parse(M.statutsRelance(s, jourDecale(ref, 0)));
    }
    relanceDemo('a_perrin_demo', [1, 3, 7, 14], 0);
    relanceDemo('a_garnier_demo', [1, 5, 12, 20], 1);
    interactions.push({ id: 'i_morel_salon', contactId: 'c_morel', type: 'note', date: quand(ref, -9, 15, 0), titre: 'Rencontre au salon', resume: 'Intéressé par le recalage automatique des plannings. Rappel convenu.', creeLe: quand(ref, -9, 15, 0), majLe: quand(ref, -9, 15, 0) });
    interactions.push({ id: 'i_garnier_prop', contactId: 'c_garnier', type: 'email', date: quand(ref, -7, 17, 0), titre: 'Proposition envoyée', resume: 'Proposition à 32 760 € par an, 70 techniciens, engagement d\'un an.', creeLe: quand(ref, -7, 17, 0), majLe: quand(ref, -7, 17, 0) });
    interactions.push({ id: 'i_girard_mail', contactId: 'c_girard', type: 'email', date: quand(ref, -6, 9, 15), titre: 'Premier e-mail', resume: 'Présentation rapide et proposition de créneaux pour une découverte.', creeLe: quand(ref, -6, 9, 15), majLe: quand(ref, -6, 9, 15) });

    return json({
      version: 2,
      reglages: { onboarde: true, commercial: { prenom: 'Camille', nom: 'Martin', role: 'Commerciale', email: 'camille.martin@tempora.fr', style: 'consultatif' },
        langue: 'fr', methode: 'aucune', modeles: { live: 'claude-haiku-4-5', analyse: 'claude-sonnet-5-5' }, discret: true, relais: '',
        transcription: { moteur: 'soniox', sonioxEurope: false } },
      entreprise: ENTREPRISE, profilsClients: PROFILS.map(function (p) { var q = JSON.parse(JSON.stringify(p)); q.creeLe = quand(ref, -90, 10, 0); q.majLe = q.creeLe; return q; }),
      objections: OBJECTIONS.map(function (o) { var q = JSON.parse(JSON.stringify(o)); q.creeLe = quand(ref, -90, 10, 0); q.majLe = q.creeLe; return q; }),
      contacts: contacts, interactions: interactions, appels: appels,
      questionsFavorites: [
        { id: 'qf_cout', texte: 'Qu\'est-ce que ce problème vous coûte, en temps ou en argent ?', categorie: 'impact', creeLe: quand(ref, -60, 9, 0), majLe: quand(ref, -60, 9, 0) },
        { id: 'qf_decision', texte: 'Qui d\'autre participe à la décision ?', categorie: 'decision', creeLe: quand(ref, -60, 9, 0), majLe: quand(ref, -60, 9, 0) },
        { id: 'qf_echeance', texte: 'Pour quand voulez-vous que ce soit réglé ?', categorie: 'echeance', creeLe: quand(ref, -60, 9, 0), majLe: quand(ref, -60, 9, 0) }
      ],
      quilloConversations: [], quilloMemoire: ['Camille préfère des réponses courtes, prêtes à dire.', 'Les prospects du secteur CVC sont très pris avant la saison de chauffe.'],
      frameworks: [frameworkDemo(quand(ref, -60, 9, 0))],
      objectifs: [
        { id: 'obj_questions', type: 'questions_par_appel', cible: 8, actif: true, creeLe: quand(ref, -30, 9, 0), majLe: quand(ref, -30, 9, 0) },
        { id: 'obj_parole', type: 'part_parole_max', cible: 45, actif: true, creeLe: quand(ref, -30, 9, 0), majLe: quand(ref, -30, 9, 0) }
      ],
      briefsAgenda: [], frameworkIgnorees: []
    });
  };

  function frameworkDemo(le) {
    function etape(id, nom, phase, poids, types, objectif, criteres, questions, transition, obj, rep) {
      return { id: id, nom: nom, phase: phase, poids: poids, typesAppel: types, objectif: objectif, criteres: criteres, questions: questions, transition: transition, objections: obj ? [{ texte: obj, reponse: rep }] : [] };
    }
    return {
      id: 'fw_tempora', nom: 'Votre Framework', description: 'Votre cycle de vente en quatre étapes, de la découverte à la signature.', methode: 'aucune', actif: true, parDefaut: true, creeLe: le, majLe: le,
      qualification: I.GRILLE_ESSENTIEL,
      etapes: [
        etape('decouverte', 'Découverte', 'decouverte', 35, ['prospection', 'decouverte', 'suivi'], 'Faire dire la douleur principale, la chiffrer et savoir qui décide.',
          ['Douleur principale dite par le prospect', 'Coût du problème chiffré', 'Décideur identifié', 'Prochaine étape datée'],
          ['Comment ça se passe aujourd\'hui, concrètement, de votre côté ?', 'Qu\'est-ce que ce problème vous coûte, en temps ou en argent ?', 'Qui d\'autre participe à la décision ?'],
          'Avant de vous parler de nous, j\'aimerais comprendre comment vous travaillez aujourd\'hui.', 'Envoyez-moi une documentation.', 'Avec plaisir. Pour vous envoyer ce qui compte, quel point voulez-vous vérifier en premier ?'),
        etape('demo', 'Démo', 'demo', 25, ['demo', 'suivi'], 'Faire valider que l\'offre répond aux douleurs dites en découverte.',
          ['Chaque point montré relié à une douleur dite', 'Réaction du prospect après chaque point clé', 'Prochaine étape datée'],
          ['Sur ce que je viens de montrer, qu\'est-ce qui changerait le plus pour vous ?', 'Qu\'est-ce qui manque pour que ça marche chez vous ?'],
          'Vous m\'avez parlé de ce problème : je vous montre ce qui se passe à ce moment précis.', 'Je ne suis pas sûr que ça marche chez nous.', 'C\'est une vraie question. Quelle situation vous inquiète le plus ? On la regarde ensemble.'),
        etape('negociation', 'Négociation', 'negociation', 20, ['negociation', 'suivi'], 'Trouver un accord sans baisser le prix, en recadrant sur la valeur.',
          ['Valeur rappelée avant de parler du prix', 'Aucune remise sans contrepartie', 'Conditions validées par le décideur'],
          ['Qu\'est-ce qui vous fait hésiter, précisément ?', 'Si on règle ce point, on avance ensemble ?'],
          'Avant de parler des conditions, rappelons ce que vous voulez obtenir.', 'C\'est trop cher.', 'Je comprends. Par rapport à quoi ? Ce problème vous coûte combien aujourd\'hui, chaque mois ?'),
        etape('closing', 'Closing', 'closing', 20, ['closing', 'negociation'], 'Obtenir un accord ferme et une date de signature.',
          ['Dernier frein isolé et traité', 'Accord ferme du décideur', 'Date de signature fixée'],
          ['Qu\'est-ce qu\'il vous faut encore pour signer ?', 'Quelle date de démarrage vous arrange ?'],
          'Il nous reste à caler le démarrage.', 'Je vais réfléchir.', 'Bien sûr. Sur quoi hésitez-vous précisément : le prix, le moment ou l\'adoption par l\'équipe ?')
      ]
    };
  }

  // Réponses en boîte de la route de démonstration, cohérentes avec les scénarios.
  var REPONSES_OBJECTION = {
    prix: { reponse: 'Je comprends. Par rapport à quoi ? Vos assistantes passent dix heures par semaine sur les plannings : mettons ce coût à côté du prix.', pourquoi: 'Ramener le prix au coût du problème déjà chiffré par le prospect.', question: 'Sur un an, combien vous coûtent ces dix heures par semaine ?' },
    documentation: { reponse: 'Avec plaisir. Pour que la page vous serve vraiment, quel point voulez-vous vérifier en premier : le terrain, le planning ou le prix ?', pourquoi: 'Qualifier la demande de documentation au lieu de la subir.', question: 'Qui la lira avec vous ?' },
    confiance: { reponse: 'Merci de le dire. Qu\'est-ce qui avait bloqué avec cet outil ? Je vous montre comment nous évitons précisément ce point.', pourquoi: 'Faire dire la cause de l\'échec passé pour y répondre précisément.', question: 'Qu\'est-ce que vos techniciens devraient pouvoir faire en un clic ?' },
    decideur: { reponse: 'Bien sûr. Qu\'est-ce que votre direction voudra voir en premier ? Je vous prépare une page pour elle.', pourquoi: 'Aider votre interlocuteur à vendre en interne.', question: 'Quand la présentez-vous ?' },
    temps: { reponse: 'Je comprends, on va droit au but. Qu\'est-ce qui doit absolument changer pour vous ?', pourquoi: 'Respecter le temps du prospect tout en gardant la main.', question: 'Qu\'est-ce qui vous coûte le plus aujourd\'hui ?' },
    timing: { reponse: 'D\'accord. Qu\'est-ce qui aura changé d\'ici là ? Et si le bon moment arrive plus tôt, quel serait le signal ?', pourquoi: 'Transformer un report en critère concret.', question: 'Qu\'est-ce qui se passe si rien ne change d\'ici là ?' },
    concurrence: { reponse: 'Très bien. Qu\'est-ce que votre outil actuel ne règle pas encore pour vous ?', pourquoi: 'Chercher l\'écart plutôt que d\'attaquer l\'outil en place.', question: 'Qu\'est-ce qui vous ferait changer ?' },
    besoin: { reponse: 'Entendu. Quand une urgence tombe, comment recalez-vous les tournées aujourd\'hui ?', pourquoi: 'Faire décrire la situation pour vérifier l\'absence de besoin.', question: 'Combien de temps ça prend ?' },
    reflexion: { reponse: 'Bien sûr. Sur quoi hésitez-vous précisément : le prix, le moment ou l\'adoption par l\'équipe ?', pourquoi: 'Isoler le vrai frein derrière « je vais réfléchir ».', question: 'Si on règle ce point, on avance ensemble ?' },
    autre: { reponse: 'Je comprends. Qu\'est-ce qui vous fait dire ça ?', pourquoi: 'Faire préciser avant de répondre.', question: 'Et si ce point était réglé ?' }
  };
  M.reponseDemo = function (tacheArg, payloadArg) {
    var tache = texte(tacheArg);
    var p = I.objet(payloadArg);
    if (tache === 'objection') {
      var cat = estObjet(p.detection) ? texte(p.detection.categorie) : '';
      if (!cat) { var d = JSON.parse(M.detecterObjection(texte(p.derniereProspect) || p.transcript || '')); cat = d ? d.categorie : 'autre'; }
      var ctxId = estObjet(p.contexte) && estObjet(p.contexte.contact) ? texte(p.contexte.contact.id) : '';
      if (ctxId === 'c_garnier' && cat === 'prix') return json({ reponse: 'C\'est possible. Qu\'est-ce qu\'il vous apporte que nous n\'apportons pas ? Vos chefs d\'équipe perdent une journée par semaine : l\'écart se rembourse en quelques semaines.', pourquoi: 'Comparer la valeur avant le prix, avec le chiffre qu\'elle a donné.', question: 'Si l\'écart était compensé, qu\'est-ce qui resterait à régler ?' });
      return json(REPONSES_OBJECTION[cat] || REPONSES_OBJECTION.autre);
    }
    var contactId = estObjet(p.contexte) && estObjet(p.contexte.contact) ? texte(p.contexte.contact.id) : '';
    if (tache === 'questions' && contactId === 'c_garnier') {
      return json({ questions: [
        { question: 'Qu\'est-ce que le comité regardera en premier : le prix total ou le retour sur investissement ?', but: 'Préparer le comité' },
        { question: 'Si l\'écart de prix était compensé par la formation, qu\'est-ce qui resterait à régler ?', but: 'Isoler le dernier frein' },
        { question: 'Quelle date de démarrage vous permettrait de tenir vos objectifs de l\'année ?', but: 'Créer l\'urgence' }
      ] });
    }
    if (tache === 'recap' && contactId === 'c_garnier') {
      return json({ points: ['La proposition convient sur le fond', 'Gain estimé à 40 000 € par an', 'Formation offerte contre un engagement de deux ans'],
        pointsOuverts: ['Écart de prix de 20 % avec le concurrent', 'Validation du comité de direction mardi'], prochaineEtape: 'Rappel mercredi à 10 h pour confirmer', qualification: [] });
    }
    if (tache === 'questions') {
      return json({ questions: [
        { question: 'Quand une urgence tombe, qui recale le planning, et combien de temps ça lui prend ?', but: 'Chiffrer la douleur' },
        { question: 'Qu\'est-ce que ça vous a coûté, les deux contrats perdus l\'an dernier ?', but: 'Mesurer l\'impact' },
        { question: 'Qu\'est-ce que Mme Lefort voudra voir en premier pour décider ?', but: 'Préparer le décideur' }
      ] });
    }
    if (tache === 'recap') {
      var q = JSON.parse(M.detecterQualification(JSON.stringify({ transcript: p.transcript || [] })));
      return json({ points: ['Plannings sur tableur, recalés par téléphone', 'Dix heures par semaine perdues à refaire les plannings', 'Un outil testé il y a deux ans, jamais adopté'],
        pointsOuverts: ['Le prix jugé un peu cher', 'Les critères de Mme Lefort'], prochaineEtape: 'Démo avec Mme Lefort jeudi à 11 h', qualification: q.map(function (x) { return { item: x.item, nom: x.nom, valeur: x.valeur, preuve: x.preuve }; }) });
    }
    if (tache === 'libre') {
      var dem = I.plier(texte(p.demande));
      if (/\brecap\b/.test(dem)) return M.reponseDemo('recap', payloadArg);
      return json({ reponse: 'Rappelez le chiffre qu\'il a donné lui-même (dix heures par semaine), puis proposez la démo avec la décisionnaire à une date précise.' });
    }
    if (tache === 'brief' && M._interne.briefDemo) return json(M._interne.briefDemo(p));
    if (tache === 'analyse' && M._interne.analyseBrute) {
      // The analysis payload carries the call's summary, its transcript and the objections signalled live.
      var appel = Object.assign({}, estObjet(p.appel) ? p.appel : {}, {
        transcript: Array.isArray(p.transcript) ? p.transcript : [],
        detections: (Array.isArray(p.objectionsSignalees) ? p.objectionsSignalees : []).map(function (o) { return { tMs: o.tMs, categorie: o.categorie, extrait: o.extrait }; }),
        aides: [], prochaineEtape: estObjet(p.prochaineEtape) ? p.prochaineEtape : undefined
      });
      return json(M._interne.analyseBrute(appel));
    }
    return '';
  };
})(Moteur);

