#include "ecranreglages.h"

#include "app/ui.h"
#include "assistant/ecrans/sectionconnecteur.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"
#include "agenda/notificationsapp.h"
#include "ai/moteur.h"
#include "call/gardeoubli.h"
#include "cloud/compte.h"
#include "app/connexionaudemarrage.h"
#include "app/misesajour.h"
#include "model/store.h"
#include "platform/coffre.h"
#include "platform/fenetres.h"
#include "platform/lecture.h"
#include "platform/notificationsbureau.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vd::app {

namespace {

QComboBox* liste(QWidget* parent, const QList<std::pair<QString, QString>>& choix)
{
    auto* c = new QComboBox(parent);
    for (const auto& [valeur, libelle] : choix)
        c->addItem(libelle, valeur);
    c->setMinimumWidth(260);
    return c;
}

void choisir(QComboBox* c, const QVariant& valeur)
{
    int i = c->findData(valeur);
    if (i < 0 && valeur.isValid() && !valeur.toString().isEmpty()) {
        c->addItem(QStringLiteral("Réglage actuel"), valeur);   // a value this version does not list is kept, not lost
        i = c->count() - 1;
    }
    c->setCurrentIndex(std::max(0, i));
}

} // namespace

EcranReglages::EcranReglages(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* page = pageDefilante(QMargins(0, 8, 16, 32), 16);

    auto modifier = [this](std::function<void(model::Reglages&)> f) {
        if (chargement_)
            return;
        ctx_.store->modifier([&](model::Etat& e) { f(e.reglages); });
    };

    // Identity.
    QFormLayout* f = section(page, QStringLiteral("Vous"), QStringLiteral("Quillo s'adresse à vous par votre prénom et signe vos e-mails de suivi."));
    prenom_ = new QLineEdit(this);
    nom_ = new QLineEdit(this);
    role_ = new QLineEdit(this);
    email_ = new QLineEdit(this);
    role_->setPlaceholderText(QStringLiteral("Par exemple : Responsable commercial"));
    f->addRow(QStringLiteral("Prénom"), prenom_);
    f->addRow(QStringLiteral("Nom"), nom_);
    f->addRow(QStringLiteral("Fonction"), role_);
    f->addRow(QStringLiteral("E-mail"), email_);
    for (QLineEdit* champ : {prenom_, nom_, role_, email_})
        connect(champ, &QLineEdit::editingFinished, this, [this, modifier] {
            modifier([this](model::Reglages& r) {
                r.commercial.prenom = prenom_->text().trimmed();
                r.commercial.nom = nom_->text().trimmed();
                r.commercial.role = role_->text().trimmed();
                r.commercial.email = email_->text().trimmed();
            });
        });

    // Language and method.
    f = section(page, QStringLiteral("Appels"));
    langue_ = liste(this, {{QStringLiteral("fr"), QStringLiteral("Français")}, {QStringLiteral("en"), QStringLiteral("Anglais")},
                           {QStringLiteral("multi"), QStringLiteral("Détection auto")}});
    methode_ = liste(this, {{QStringLiteral("aucune"), QStringLiteral("Aucune méthode")}, {QStringLiteral("bant"), QStringLiteral("BANT")},
                            {QStringLiteral("meddic"), QStringLiteral("MEDDIC")}, {QStringLiteral("soncas"), QStringLiteral("SONCAS")}});
    f->addRow(QStringLiteral("Langue des appels"), langue_);
    f->addRow(QStringLiteral("Méthode de qualification"), methode_);
    connect(langue_, &QComboBox::currentIndexChanged, this, [this, modifier] { modifier([this](model::Reglages& r) { r.langue = langue_->currentData().toString(); }); });
    connect(methode_, &QComboBox::currentIndexChanged, this, [this, modifier] { modifier([this](model::Reglages& r) { r.methode = methode_->currentData().toString(); }); });

    // Models.
    f = section(page, QStringLiteral("Modèles"), QStringLiteral("Le modèle du live répond pendant l'appel ; celui de l'analyse prend son temps après."));
    QList<std::pair<QString, QString>> modeles;
    for (const QJsonValue& v : ai::Moteur::instance().donnee(QStringLiteral("MODELES")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString desc = o.value(QStringLiteral("description")).toString();
        modeles.append({o.value(QStringLiteral("id")).toString(),
                        o.value(QStringLiteral("libelle")).toString() + (desc.isEmpty() ? QString() : QStringLiteral(" — ") + desc)});
    }
    modeleLive_ = liste(this, modeles);
    modeleAnalyse_ = liste(this, modeles);
    f->addRow(QStringLiteral("Pendant l'appel"), modeleLive_);
    f->addRow(QStringLiteral("Analyse après l'appel"), modeleAnalyse_);
    connect(modeleLive_, &QComboBox::currentIndexChanged, this, [this, modifier] { modifier([this](model::Reglages& r) { r.modeles.live = modeleLive_->currentData().toString(); }); });
    connect(modeleAnalyse_, &QComboBox::currentIndexChanged, this,
            [this, modifier] { modifier([this](model::Reglages& r) { r.modeles.analyse = modeleAnalyse_->currentData().toString(); }); });

    // Keys and transcription.
    f = section(page, QStringLiteral("Clés et transcription"),
                QStringLiteral("Vos clés restent sur cet ordinateur, dans le trousseau du système. Sans clé, seul l'appel simulé est possible."));
    moteur_ = liste(this, {{QStringLiteral("soniox"), QStringLiteral("Soniox")}, {QStringLiteral("deepgram"), QStringLiteral("Deepgram")}});
    f->addRow(QStringLiteral("Moteur de transcription"), moteur_);
    europe_ = new QCheckBox(QStringLiteral("Traiter l'audio en Europe (Soniox)"), this);
    f->addRow(QString(), europe_);
    connect(moteur_, &QComboBox::currentIndexChanged, this, [this, modifier] {
        europe_->setEnabled(moteur_->currentData().toString() == QLatin1String("soniox"));
        modifier([this](model::Reglages& r) { r.transcription.moteur = moteur_->currentData().toString(); });
    });
    connect(europe_, &QCheckBox::toggled, this, [this, modifier](bool v) { modifier([v](model::Reglages& r) { r.transcription.sonioxEurope = v; }); });
    auto ligneCle = [this, f](const QString& libelle, const QString& compte, QLineEdit*& champ, QLabel*& etat) {
        auto* h = new QHBoxLayout;
        champ = new QLineEdit(this);
        champ->setEchoMode(QLineEdit::Password);
        champ->setPlaceholderText(QStringLiteral("Collez la clé ici"));
        h->addWidget(champ, 1);
        auto* ok = style::bouton(QStringLiteral("Enregistrer"), {}, this);
        h->addWidget(ok);
        auto* effacer = style::bouton(QStringLiteral("Effacer"), QStringLiteral("lien"), this);
        h->addWidget(effacer);
        etat = style::etiquette({}, QStringLiteral("legende"), this);
        etat->setMinimumWidth(110);
        h->addWidget(etat);
        f->addRow(libelle, h);
        QLineEdit* c = champ;
        QLabel* e = etat;
        connect(ok, &QPushButton::clicked, this, [this, compte, c, e] { enregistrerCle(compte, c, e); });
        connect(c, &QLineEdit::returnPressed, this, [this, compte, c, e] { enregistrerCle(compte, c, e); });
        connect(effacer, &QPushButton::clicked, this, [this, compte, e] {
            const QString err = platform::Coffre::instance().effacer(compte);
            e->setText(err.isEmpty() ? QStringLiteral("Aucune clé") : err);
        });
    };
    ligneCle(QStringLiteral("Clé Anthropic"), QStringLiteral("anthropic"), cleAnthropic_, etatAnthropic_);
    ligneCle(QStringLiteral("Clé Soniox"), QStringLiteral("soniox"), cleSoniox_, etatSoniox_);
    ligneCle(QStringLiteral("Clé Deepgram"), QStringLiteral("deepgram"), cleDeepgram_, etatDeepgram_);
    secours_ = style::etiquette(QStringLiteral("Aucun trousseau n'est disponible : les clés sont gardées dans un fichier lisible par vous seul."),
                                QStringLiteral("alerte"), this);
    secours_->setWordWrap(true);
    secours_->hide();
    f->addRow(QString(), secours_);

    // Relay.
    f = section(page, QStringLiteral("Relais"), QStringLiteral("L'adresse d'un serveur relais de votre entreprise, si elle vous en a donné une."));
    relais_ = new QLineEdit(this);
    relais_->setPlaceholderText(QStringLiteral("https://relais.exemple.fr"));
    f->addRow(QStringLiteral("Adresse du relais"), relais_);
    connect(relais_, &QLineEdit::editingFinished, this, [this, modifier] { modifier([this](model::Reglages& r) { r.relais = relais_->text().trimmed(); }); });

    // Prompter.
    f = section(page, QStringLiteral("Quillo pendant l'appel"), QStringLiteral("Le panneau flottant qui vous souffle les réponses."));
    taille_ = liste(this, {{QStringLiteral("petit"), QStringLiteral("Petit")}, {QStringLiteral("moyen"), QStringLiteral("Moyen")},
                           {QStringLiteral("grand"), QStringLiteral("Grand")}});
    theme_ = liste(this, {{QStringLiteral("sombre"), QStringLiteral("Sombre")}, {QStringLiteral("clair"), QStringLiteral("Clair")}});
    opacite_ = liste(this, {{QStringLiteral("1"), QStringLiteral("100 %")}, {QStringLiteral("0.96"), QStringLiteral("96 %")},
                            {QStringLiteral("0.9"), QStringLiteral("90 %")}, {QStringLiteral("0.8"), QStringLiteral("80 %")},
                            {QStringLiteral("0.7"), QStringLiteral("70 %")}, {QStringLiteral("0.6"), QStringLiteral("60 %")}});
    detection_ = liste(this, {{QStringLiteral("suggerer"), QStringLiteral("Signaler les objections repérées")},
                              {QStringLiteral("off"), QStringLiteral("Ne rien signaler")}});
    uneLigne_ = new QCheckBox(QStringLiteral("Mode une ligne"), this);
    masquerPartage_ = new QCheckBox(QStringLiteral("Masquer Quillo pendant le partage d'écran"), this);
    f->addRow(QStringLiteral("Taille du texte"), taille_);
    f->addRow(QStringLiteral("Thème"), theme_);
    f->addRow(QStringLiteral("Opacité"), opacite_);
    f->addRow(QStringLiteral("Objections"), detection_);
    f->addRow(QString(), uneLigne_);
    f->addRow(QString(), masquerPartage_);
    // Where the other applications' windows cannot be seen, say so rather than promise it.
    if (!platform::creerLecteurFenetres()->lire()) {
        auto* raison = style::etiquette(platform::raisonFenetresInvisibles(), QStringLiteral("secondaire"), this);
        raison->setWordWrap(true);
        f->addRow(QString(), raison);
    }
    connect(taille_, &QComboBox::currentIndexChanged, this, [this, modifier] { modifier([this](model::Reglages& r) { r.souffleur.tailleTexte = taille_->currentData().toString(); }); });
    connect(theme_, &QComboBox::currentIndexChanged, this, [this, modifier] { modifier([this](model::Reglages& r) { r.souffleur.theme = theme_->currentData().toString(); }); });
    connect(opacite_, &QComboBox::currentIndexChanged, this, [this, modifier] { modifier([this](model::Reglages& r) { r.souffleur.opacite = opacite_->currentData().toDouble(); }); });
    connect(detection_, &QComboBox::currentIndexChanged, this, [this, modifier] { modifier([this](model::Reglages& r) { r.souffleur.detection = detection_->currentData().toString(); }); });
    connect(uneLigne_, &QCheckBox::toggled, this, [modifier](bool v) { modifier([v](model::Reglages& r) { r.souffleur.modeUneLigne = v; }); });
    connect(masquerPartage_, &QCheckBox::toggled, this, [modifier](bool v) { modifier([v](model::Reglages& r) { r.souffleur.masquerPendantPartage = v; }); });

    {
        auto* garde = style::etiquette(call::texteoubli::explication(call::ReglagesOubli::depuisCompte(ctx_.compte ? ctx_.compte->infos() : std::nullopt)), QStringLiteral("secondaire"), this);
        garde->setWordWrap(true);
        f->addRow(QString(), garde);
    }

    // Notifications: one switch per type, and the opt-in desktop copy.
    if (agenda::NotificationsApp* n = ctx_.notifications) {
        f = section(page, QStringLiteral("Notifications"), QStringLiteral("Les cartes qui apparaissent en haut à droite de l'écran."));
        for (agenda::TypeNotification t : agenda::NotificationsApp::typesReglables()) {
            auto* c = new QCheckBox(agenda::libelleType(t), this);
            c->setObjectName(QStringLiteral("notif-") + agenda::nomType(t));
            c->setChecked(n->active(t));
            connect(c, &QCheckBox::toggled, this, [n, t](bool v) { n->activer(t, v); });
            f->addRow(QString(), c);
        }
        auto* bureau = new QCheckBox(QStringLiteral("Les montrer aussi sur le bureau quand Vendalo est caché"), this);
        bureau->setObjectName(QStringLiteral("notif-bureau"));
        bureau->setChecked(n->bureauActif());
        connect(bureau, &QCheckBox::toggled, this, [n](bool v) { n->activerBureau(v); });
        f->addRow(QString(), bureau);
        if (!platform::NotificationsBureauDBus().disponible()) {
            auto* raison = style::etiquette(QStringLiteral("Le service de notifications du bureau ne répond pas sur cet ordinateur : "
                                                           "les notifications restent dans Vendalo."),
                                            QStringLiteral("secondaire"), this);
            raison->setWordWrap(true);
            f->addRow(QString(), raison);
        }
    }

    // Data: retention, backup, demonstration, erase.
    f = section(page, QStringLiteral("Données"), QStringLiteral("Tout est gardé sur cet ordinateur, dans un seul fichier."));
    conservation_ = liste(this, {{QString(), QStringLiteral("Sans limite")}, {QStringLiteral("3"), QStringLiteral("3 mois")},
                                 {QStringLiteral("6"), QStringLiteral("6 mois")}, {QStringLiteral("12"), QStringLiteral("12 mois")},
                                 {QStringLiteral("24"), QStringLiteral("24 mois")}});
    f->addRow(QStringLiteral("Conserver les appels"), conservation_);
    connect(conservation_, &QComboBox::currentIndexChanged, this, [this, modifier] {
        const QString v = conservation_->currentData().toString();
        modifier([v](model::Reglages& r) { r.conservationMois = v.isEmpty() ? std::nullopt : std::optional<qint64>(v.toLongLong()); });
    });
    auto* sauvegarde = new QHBoxLayout;
    auto* exp = style::bouton(QStringLiteral("Exporter une sauvegarde…"), {}, this);
    auto* imp = style::bouton(QStringLiteral("Importer une sauvegarde…"), {}, this);
    sauvegarde->addWidget(exp);
    sauvegarde->addWidget(imp);
    sauvegarde->addStretch(1);
    f->addRow(QStringLiteral("Sauvegarde"), sauvegarde);
    messageSauvegarde_ = style::etiquette({}, QStringLiteral("legende"), this);
    messageSauvegarde_->setWordWrap(true);
    f->addRow(QString(), messageSauvegarde_);
    connect(exp, &QPushButton::clicked, this, [this] {
        const QString chemin = QFileDialog::getSaveFileName(this, QStringLiteral("Exporter une sauvegarde"),
                                                            model::Store::nomSauvegardeProposee(ctx_.horloge->maintenant()),
                                                            QStringLiteral("Sauvegarde Vendalo (*.json)"));
        if (!chemin.isEmpty())
            exporter(chemin);
    });
    connect(imp, &QPushButton::clicked, this, [this] {
        const QString chemin = QFileDialog::getOpenFileName(this, QStringLiteral("Importer une sauvegarde"), {}, QStringLiteral("Sauvegarde Vendalo (*.json)"));
        if (chemin.isEmpty())
            return;
        if (QMessageBox::question(this, QStringLiteral("Importer une sauvegarde"),
                                  QStringLiteral("Les données actuelles seront remplacées par celles de la sauvegarde. Continuer ?"),
                                  QMessageBox::Yes | QMessageBox::Cancel) == QMessageBox::Yes)
            importer(chemin);
    });
    auto* demo = new QHBoxLayout;
    auto* charger = style::bouton(QStringLiteral("Charger la démo"), {}, this);
    auto* effacer = style::bouton(QStringLiteral("Tout effacer"), QStringLiteral("danger"), this);
    demo->addWidget(charger);
    demo->addWidget(effacer);
    demo->addStretch(1);
    f->addRow(QStringLiteral("Démonstration"), demo);
    connect(charger, &QPushButton::clicked, this, [this] {
        if (QMessageBox::question(this, QStringLiteral("Charger la démo"),
                                  QStringLiteral("Les données de démonstration remplaceront vos données actuelles. Continuer ?"),
                                  QMessageBox::Yes | QMessageBox::Cancel) != QMessageBox::Yes)
            return;
        if (!ctx_.chargerDemo)
            return;
        if (auto e = ctx_.chargerDemo())
            ctx_.toasts->montrer(*e, Toasts::Toast::Genre::erreur);
        else
            ctx_.toasts->montrer(QStringLiteral("Données de démo rechargées.") + model::Store::phraseCopie(ctx_.store->copieRemplacee()),
                                 Toasts::Toast::Genre::ok);
    });
    connect(effacer, &QPushButton::clicked, this, [this] {
        if (ctx_.appelActif && ctx_.appelActif()) {
            ctx_.toasts->montrer(QStringLiteral("Terminez l'appel en cours avant de tout effacer."), Toasts::Toast::Genre::erreur);
            return;
        }
        if (QMessageBox::warning(this, QStringLiteral("Tout effacer"),
                                 QStringLiteral("Vos appels, vos contacts et vos réglages seront effacés de cet ordinateur. Exportez une "
                                                "sauvegarde avant si vous voulez les garder."),
                                 QMessageBox::Discard | QMessageBox::Cancel) != QMessageBox::Discard)
            return;
        if (auto copie = ctx_.store->garderEtatRemplace(); !copie) {
            ctx_.toasts->montrer(copie.erreur(), Toasts::Toast::Genre::erreur);
            return;
        }
        ctx_.store->remplacerEtat(model::Etat{});
        ctx_.store->sauvegarder(true);
        ctx_.toasts->montrer(QStringLiteral("Toutes les données sont effacées.") + model::Store::phraseCopie(ctx_.store->copieRemplacee()),
                             Toasts::Toast::Genre::info);
    });

    // Start-up and updates.
    page->addWidget(new assistant::SectionConnecteur(ctx_.client, ctx_.compte, nullptr, this));

    f = section(page, QStringLiteral("Démarrage et mises à jour"));
    login_ = new QCheckBox(QStringLiteral("Ouvrir Vendalo à l'ouverture de session"), this);
    f->addRow(QString(), login_);
    erreurLogin_ = style::etiquette({}, QStringLiteral("erreur"), this);
    erreurLogin_->setWordWrap(true);
    f->addRow(QString(), erreurLogin_);
    connect(login_, &QCheckBox::toggled, this, [this](bool v) {
        if (chargement_ || !ctx_.connexion)
            return;
        ctx_.connexion->definir(v);
    });
    if (ctx_.connexion)
        connect(ctx_.connexion, &ConnexionAuDemarrage::change, this, &EcranReglages::relire);
    version_ = style::etiquette({}, QStringLiteral("secondaire"), this);
    f->addRow(QStringLiteral("Version"), version_);
    etatMaj_ = style::etiquette({}, QStringLiteral("legende"), this);
    etatMaj_->setWordWrap(true);
    f->addRow(QString(), etatMaj_);
    auto* maj = new QHBoxLayout;
    redemarrer_ = style::bouton(QStringLiteral("Redémarrer maintenant"), QStringLiteral("primaire"), this);
    plusTard_ = style::bouton(QStringLiteral("Plus tard"), {}, this);
    maj->addWidget(redemarrer_);
    maj->addWidget(plusTard_);
    maj->addStretch(1);
    f->addRow(QString(), maj);
    if (ctx_.misesAJour) {
        connect(redemarrer_, &QPushButton::clicked, ctx_.misesAJour, &MisesAJour::installerMaintenant);
        connect(plusTard_, &QPushButton::clicked, this, [this] {
            redemarrer_->hide();
            plusTard_->hide();
        });
        connect(ctx_.misesAJour, &MisesAJour::change, this, &EcranReglages::majMisesAJour);
    }
    page->addStretch(1);
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        if (isVisible())
            relire();
    });
}

QFormLayout* EcranReglages::section(QVBoxLayout* page, const QString& titre, const QString& sousTitre)
{
    auto* c = style::carte(QStringLiteral("carte"), this);
    auto* v = new QVBoxLayout(c);
    v->setContentsMargins(24, 20, 24, 20);
    v->setSpacing(6);
    v->addWidget(style::etiquette(titre, QStringLiteral("titreCarte"), c));
    if (!sousTitre.isEmpty()) {
        auto* s = style::etiquette(sousTitre, QStringLiteral("legende"), c);
        s->setWordWrap(true);
        v->addWidget(s);
    }
    v->addSpacing(8);
    auto* f = new QFormLayout;
    f->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    f->setHorizontalSpacing(24);
    f->setVerticalSpacing(10);
    f->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    v->addLayout(f);
    page->addWidget(c);
    return f;
}

void EcranReglages::afficher(const Ecran&)
{
    relire();
    majCles();
}

void EcranReglages::relire()
{
    chargement_ = true;
    const model::Reglages& r = ctx_.store->etat().reglages;
    prenom_->setText(r.commercial.prenom);
    nom_->setText(r.commercial.nom);
    role_->setText(r.commercial.role);
    email_->setText(r.commercial.email);
    choisir(langue_, r.langue);
    choisir(methode_, r.methode);
    choisir(modeleLive_, r.modeles.live);
    choisir(modeleAnalyse_, r.modeles.analyse);
    choisir(moteur_, r.transcription.moteur);
    europe_->setChecked(r.transcription.sonioxEurope);
    europe_->setEnabled(r.transcription.moteur == QLatin1String("soniox"));
    relais_->setText(r.relais);
    choisir(taille_, r.souffleur.tailleTexte);
    choisir(theme_, r.souffleur.theme);
    choisir(detection_, r.souffleur.detection);
    const double o = r.souffleur.opacite;
    int meilleur = 0;
    for (int i = 1; i < opacite_->count(); ++i)
        if (std::abs(opacite_->itemData(i).toDouble() - o) < std::abs(opacite_->itemData(meilleur).toDouble() - o))
            meilleur = i;
    opacite_->setCurrentIndex(meilleur);
    uneLigne_->setChecked(r.souffleur.modeUneLigne);
    masquerPartage_->setChecked(r.souffleur.masquerPendantPartage);
    choisir(conservation_, r.conservationMois ? QString::number(*r.conservationMois) : QString());
    if (ctx_.connexion) {
        login_->setChecked(ctx_.connexion->actif());
        erreurLogin_->setText(ctx_.connexion->erreur().value_or(QString()));
        erreurLogin_->setVisible(bool(ctx_.connexion->erreur()));
    }
    majMisesAJour();
    chargement_ = false;
}

void EcranReglages::majCles()
{
    platform::Coffre& coffre = platform::Coffre::instance();
    const std::pair<QString, QLabel*> cles[] = {{QStringLiteral("anthropic"), etatAnthropic_},
                                                {QStringLiteral("soniox"), etatSoniox_},
                                                {QStringLiteral("deepgram"), etatDeepgram_}};
    for (const auto& [compte, etat] : cles) {
        const auto v = coffre.lire(compte);
        etat->setText(v && !v->isEmpty() ? QStringLiteral("Clé enregistrée") : QStringLiteral("Aucune clé"));
    }
    secours_->setVisible(coffre.enSecours());
}

void EcranReglages::enregistrerCle(const QString& compte, QLineEdit* champ, QLabel* etat)
{
    const QString cle = champ->text().trimmed();
    if (cle.isEmpty()) {
        etat->setText(QStringLiteral("La clé est vide."));
        return;
    }
    const QString err = platform::Coffre::instance().ecrire(compte, cle);
    champ->clear();
    etat->setText(err.isEmpty() ? QStringLiteral("Clé enregistrée") : err);
    secours_->setVisible(platform::Coffre::instance().enSecours());
}

void EcranReglages::majMisesAJour()
{
    MisesAJour* m = ctx_.misesAJour;
    version_->setText(m ? m->texteVersion() : QStringLiteral("Version " VD_VERSION));
    const QString etat = m ? m->texteEtat() : MisesAJour::texteInactives();
    etatMaj_->setText(etat);
    etatMaj_->setVisible(!etat.isEmpty());
    const bool offre = m && m->versionPrete() && m->installationPossible() && !(ctx_.appelActif && ctx_.appelActif());
    redemarrer_->setVisible(offre);
    plusTard_->setVisible(offre);
    if (offre)
        etatMaj_->setText(etat + QStringLiteral(" Vendalo va redémarrer pour l'installer. Sinon, elle s'installera à la prochaine fermeture de l'app."));
}

void EcranReglages::exporter(const QString& chemin)
{
    const auto r = ctx_.store->exporterVers(chemin);
    messageSauvegarde_->setProperty("role", r ? QStringLiteral("succes") : QStringLiteral("erreur"));
    messageSauvegarde_->setText(r ? QStringLiteral("Sauvegarde enregistrée.") : r.erreur());
    messageSauvegarde_->style()->unpolish(messageSauvegarde_);
    messageSauvegarde_->style()->polish(messageSauvegarde_);
}

void EcranReglages::importer(const QString& chemin)
{
    QString message;
    bool ok = false;
    if (ctx_.appelActif && ctx_.appelActif()) {
        message = QStringLiteral("Terminez l'appel en cours avant d'importer une sauvegarde.");
    } else {
        auto lu = platform::lireBorne(chemin, platform::limiteSauvegarde, true);
        if (!lu) {
            switch (lu.erreur().genre) {
            case platform::ErreurLecture::Genre::binaire: message = QStringLiteral("Ce fichier n'est pas un JSON valide."); break;
            case platform::ErreurLecture::Genre::tropGros: message = lu.erreur().message; break;
            default: message = QStringLiteral("Le fichier n'a pas pu être ouvert.");
            }
        } else {
            const auto r = ctx_.store->importerSauvegarde(lu.valeur());
            ok = r.ok();
            message = ok ? model::Store::messageImport() + model::Store::phraseCopie(ctx_.store->copieRemplacee()) : r.erreur().description();
        }
    }
    messageSauvegarde_->setProperty("role", ok ? QStringLiteral("succes") : QStringLiteral("erreur"));
    messageSauvegarde_->setText(message);
    messageSauvegarde_->style()->unpolish(messageSauvegarde_);
    messageSauvegarde_->style()->polish(messageSauvegarde_);
}

QString EcranReglages::messageSauvegarde() const
{
    return messageSauvegarde_->text();
}

QString EcranReglages::messageDemarrage() const
{
    return erreurLogin_->isHidden() ? QString() : erreurLogin_->text();
}

} // namespace vd::app
