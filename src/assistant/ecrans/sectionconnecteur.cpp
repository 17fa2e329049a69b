#include "sectionconnecteur.h"

#include "assistant/connecteurmcp.h"
#include "assistant/installationclaude.h"
#include "cloud/clientsupabase.h"
#include "cloud/compte.h"
#include "platform/formulation.h"
#include "ui/ecrans/style.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace vd::assistant {

namespace {
using Genre = InstallationClaudeDesktop::Etat::Genre;
const QString npxParDefaut = QStringLiteral("npx");
} // namespace

SectionConnecteur::SectionConnecteur(cloud::ClientSupabase* client, cloud::Compte* compte, InstallationClaudeDesktop* installation,
                                     QWidget* parent)
    : QWidget(parent), client_(client), compte_(compte), cles_(new ClesMcp(client, this)),
      installation_(installation ? installation : new InstallationClaudeDesktop(InstallationClaudeDesktop::environnementSysteme(), this))
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    auto* carte = ui::style::carte(QStringLiteral("carte"), this);
    l->addWidget(carte);
    auto* v = new QVBoxLayout(carte);
    v->setContentsMargins(24, 20, 24, 20);
    v->setSpacing(8);
    v->addWidget(ui::style::etiquette(QStringLiteral("Assistants IA"), QStringLiteral("titreCarte"), carte));
    auto* lecture = ui::style::etiquette(textesconnecteur::lectureSeule, QStringLiteral("legende"), carte);
    lecture->setWordWrap(true);
    v->addWidget(lecture);

    choix_ = new QComboBox(carte);
    choix_->addItem(QStringLiteral("Sur cet ordinateur (sans clé)"), QStringLiteral("local"));
    if (client_) {
        choix_->addItem(QStringLiteral("Claude Desktop"), QStringLiteral("bureau"));
        choix_->addItem(QStringLiteral("Claude Code"), QStringLiteral("code"));
        choix_->addItem(QStringLiteral("Cursor"), QStringLiteral("cursor"));
        choix_->addItem(QStringLiteral("Autre client MCP"), QStringLiteral("autre"));
    }
    v->addWidget(choix_);
    explication_ = ui::style::etiquette(QString(), QStringLiteral("legende"), carte);
    explication_->setWordWrap(true);
    v->addWidget(explication_);
    texte_ = new QPlainTextEdit(carte);
    texte_->setReadOnly(true);
    texte_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    texte_->setMaximumHeight(180);
    v->addWidget(texte_);
    auto* copier = ui::style::bouton(QStringLiteral("Copier"), QStringLiteral("secondaire"), carte);
    connect(copier, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(texte_->toPlainText()); });
    v->addWidget(copier, 0, Qt::AlignLeft);

    // The one-click install into the desktop assistant's file.
    blocBureau_ = new QWidget(carte);
    auto* b = new QVBoxLayout(blocBureau_);
    b->setContentsMargins(0, 8, 0, 0);
    b->addWidget(ui::style::etiquette(QStringLiteral("Un clic et Vendalo s'ajoute à Claude Desktop. Vos autres réglages restent intacts."),
                                  QStringLiteral("legende"), blocBureau_));
    auto* boutons = new QHBoxLayout;
    installer_ = ui::style::bouton(QStringLiteral("Ajouter à Claude Desktop"), QStringLiteral("primaire"), blocBureau_);
    deCote_ = ui::style::bouton(QStringLiteral("Mettre de côté et installer"), QStringLiteral("secondaire"), blocBureau_);
    retirer_ = ui::style::bouton(QStringLiteral("Retirer de Claude Desktop"), QStringLiteral("secondaire"), blocBureau_);
    relancer_ = ui::style::bouton(QStringLiteral("Relancer Claude"), QStringLiteral("secondaire"), blocBureau_);
    for (QPushButton* p : {installer_, deCote_, retirer_, relancer_})
        boutons->addWidget(p);
    boutons->addStretch();
    b->addLayout(boutons);
    v->addWidget(blocBureau_);
    const auto adresse = [this] { return client_ ? client_->base().toString() : QString(); };
    connect(installer_, &QPushButton::clicked, this, [this, adresse] {
        if (cleCourante().isEmpty())
            message_->setText(QStringLiteral("Créez d'abord une clé : elle n'est affichée qu'une fois, au moment où vous la créez."));
        else
            installation_->installer(adresse(), cleCourante());
    });
    connect(deCote_, &QPushButton::clicked, this, [this, adresse] { installation_->mettreDeCoteEtInstaller(adresse(), cleCourante()); });
    connect(retirer_, &QPushButton::clicked, installation_, &InstallationClaudeDesktop::retirer);
    connect(relancer_, &QPushButton::clicked, installation_, &InstallationClaudeDesktop::relancerClaude);
    connect(installation_, &InstallationClaudeDesktop::etatChange, this, &SectionConnecteur::majInstallation);

    // Personal keys.
    blocCles_ = new QWidget(carte);
    auto* k = new QVBoxLayout(blocCles_);
    k->setContentsMargins(0, 12, 0, 0);
    k->addWidget(ui::style::etiquette(QStringLiteral("Clés personnelles"), QStringLiteral("titreSection"), blocCles_));
    listeCles_ = new QVBoxLayout;
    k->addLayout(listeCles_);
    auto* ligne = new QHBoxLayout;
    nomCle_ = new QLineEdit(blocCles_);
    nomCle_->setPlaceholderText(QStringLiteral("Par exemple : Mac du bureau"));
    nomCle_->setMaxLength(60);
    creer_ = ui::style::bouton(QStringLiteral("Créer une clé"), QStringLiteral("secondaire"), blocCles_);
    ligne->addWidget(nomCle_, 1);
    ligne->addWidget(creer_);
    k->addLayout(ligne);
    nouvelle_ = ui::style::etiquette(QString(), QStringLiteral("encart"), blocCles_);
    nouvelle_->setWordWrap(true);
    nouvelle_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    nouvelle_->setTextFormat(Qt::PlainText);
    k->addWidget(nouvelle_);
    limites_ = ui::style::etiquette(QString(), QStringLiteral("legende"), blocCles_);
    k->addWidget(limites_);
    v->addWidget(blocCles_);
    connect(creer_, &QPushButton::clicked, this, [this] { (void)cles_->creer(nomCle_->text()); });
    connect(cles_, &ClesMcp::change, this, [this] {
        majCles();
        majTexte();
    });

    message_ = ui::style::etiquette(QString(), QStringLiteral("legende"), carte);
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    v->addWidget(message_);

    connect(choix_, &QComboBox::currentIndexChanged, this, [this] {
        majTexte();
        if (choix_->currentData().toString() == QLatin1String("bureau"))
            installation_->verifier();
    });
    if (compte_)
        connect(compte_, &cloud::Compte::change, this, [this] {
            majCles();
            if (connecte())
                (void)cles_->charger();
        });
    if (connecte())
        (void)cles_->charger();
    majCles();
    majTexte();
}

bool SectionConnecteur::connecte() const
{
    return client_ && client_->connecte();
}

QString SectionConnecteur::cleCourante() const
{
    return cles_->nouvelle().value_or(QString());
}

void SectionConnecteur::choisirClient(const QString& id)
{
    const int i = choix_->findData(id);
    if (i >= 0)
        choix_->setCurrentIndex(i);
}

QString SectionConnecteur::configuration() const { return texte_->toPlainText(); }
QString SectionConnecteur::message() const { return message_->text(); }

void SectionConnecteur::majTexte()
{
    const QString id = choix_->currentData().toString();
    const QString adresse = client_ ? textesconnecteur::adresseServeur(client_->base().toString()) : QString();
    const QString cle = cleCourante();
    QString explication, texte;
    if (id == QLatin1String("local")) {
        explication = textesconnecteur::local;
        texte = textesconnecteur::blocLocal(QCoreApplication::applicationFilePath());
    } else if (id == QLatin1String("bureau")) {
        explication = QStringLiteral("À coller dans le fichier de configuration de Claude Desktop, ou en un clic ci-dessous.");
        texte = textesconnecteur::blocBureau(npxParDefaut, adresse, cle);
    } else if (id == QLatin1String("code")) {
        explication = QStringLiteral("À lancer dans un terminal.");
        texte = textesconnecteur::commandeCode(adresse, cle);
    } else if (id == QLatin1String("cursor")) {
        explication = QStringLiteral("À mettre dans « ~/.cursor/mcp.json ».");
        texte = textesconnecteur::blocCursor(adresse, cle);
    } else {
        explication = textesconnecteur::autreClient;
        texte = adresse + QStringLiteral("\nAuthorization: Bearer ") + (cle.isEmpty() ? QStringLiteral("COLLEZ_VOTRE_CLE_ICI") : cle) + QStringLiteral("\n")
                + textesconnecteur::adressePersonnelle(adresse, cle);
    }
    explication_->setText(explication);
    texte_->setPlainText(texte);
    blocBureau_->setVisible(id == QLatin1String("bureau"));
    blocCles_->setVisible(id != QLatin1String("local") && client_);
}

void SectionConnecteur::majCles()
{
    ui::style::vider(listeCles_);
    const bool ok = connecte();
    nomCle_->setEnabled(ok && !cles_->occupe());
    creer_->setEnabled(ok && !cles_->occupe());
    if (!ok) {
        listeCles_->addWidget(ui::style::etiquette(cloud::messages::sessionAbsente, QStringLiteral("legende"), blocCles_));
    } else if (cles_->cles().isEmpty()) {
        listeCles_->addWidget(ui::style::etiquette(QStringLiteral("Aucune clé pour l'instant."), QStringLiteral("legende"), blocCles_));
    }
    for (const CleMcp& c : ok ? cles_->cles() : QList<CleMcp>()) {
        auto* ligne = new QWidget(blocCles_);
        auto* h = new QHBoxLayout(ligne);
        h->setContentsMargins(0, 0, 0, 0);
        auto* nom = ui::style::etiquette(c.nom + QStringLiteral(" · ") + c.prefixe + QStringLiteral("… · ") + ClesMcp::texteUtilisation(c), {}, ligne);
        nom->setTextFormat(Qt::PlainText);
        h->addWidget(nom, 1);
        auto* revoquer = ui::style::bouton(QStringLiteral("Révoquer"), QStringLiteral("danger"), ligne);
        connect(revoquer, &QPushButton::clicked, this, [this, c] {
            if (QMessageBox::question(this, QStringLiteral("Révoquer cette clé ?"), ClesMcp::texteRevocation(c.nom)) == QMessageBox::Yes)
                (void)cles_->revoquer(c.id);
        });
        h->addWidget(revoquer);
        listeCles_->addWidget(ligne);
    }
    nouvelle_->setVisible(cles_->nouvelle().has_value());
    if (cles_->nouvelle())
        nouvelle_->setText(QStringLiteral("Copiez votre clé maintenant : elle ne sera plus affichée.\n") + *cles_->nouvelle());
    limites_->setText(cles_->texteLimites());
    if (cles_->erreur())
        message_->setText(*cles_->erreur());
}

void SectionConnecteur::majInstallation()
{
    const auto& e = installation_->etat();
    deCote_->setVisible(e.genre == Genre::fichierInvalide);
    installer_->setEnabled(e.genre != Genre::enCours && e.genre != Genre::claudeAbsent && e.genre != Genre::fichierInvalide);
    retirer_->setVisible(e.genre == Genre::pret ? e.installe : e.genre == Genre::installe);
    relancer_->setVisible((e.genre == Genre::installe || e.genre == Genre::retire) && e.claudeOuvert);
    relancer_->setEnabled(!installation_->relanceEnCours());
    QString m = installation_->message();
    if (m.isEmpty() && e.genre == Genre::pret && cleCourante().isEmpty())
        m = QStringLiteral("Créez d'abord une clé : elle n'est affichée qu'une fois, au moment où vous la créez.");
    message_->setText(m);
}

} // namespace vd::assistant
