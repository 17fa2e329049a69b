#include "blocenregistrement.h"

#include "call/ecrivainenregistrement.h"
#include "platform/lecture.h"
#include "app/ui.h"
#include "ui/ecrans/style.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <cmath>

namespace vd::app {

namespace {

QString dureeLisible(double s)
{
    const int t = int(std::lround(s));
    if (t < 60)
        return QStringLiteral("%1 s").arg(t);
    return QStringLiteral("%1 min %2 s").arg(t / 60).arg(t % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

std::optional<double> BlocEnregistrement::lireMoment(const QString& texte)
{
    const QStringList parties = texte.trimmed().split(QLatin1Char(':'));
    if (parties.isEmpty() || parties.size() > 3)
        return std::nullopt;
    double total = 0;
    for (qsizetype i = 0; i < parties.size(); ++i) {
        QString p = parties[i].trimmed();
        p.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double v = p.toDouble(&ok);
        if (!ok || !std::isfinite(v) || v < 0 || (i > 0 && v >= 60) || (i + 1 < parties.size() && v != std::floor(v)))
            return std::nullopt;
        total = total * 60 + v;
    }
    return total;
}

QString BlocEnregistrement::ecrireMoment(double secondes)
{
    const int t = int(std::floor(secondes));
    if (t >= 3600)
        return QStringLiteral("%1:%2:%3").arg(t / 3600).arg(t / 60 % 60, 2, 10, QLatin1Char('0')).arg(t % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(t / 60).arg(t % 60, 2, 10, QLatin1Char('0'));
}

BlocEnregistrement::BlocEnregistrement(const model::Appel& appel, const QString& dossier,
                                       const std::optional<QString>& avertissement, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("blocEnregistrement"));
    demanderFichier = [this](const QString& proposition) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Exporter un extrait"), proposition,
                                            QStringLiteral("Vidéo MP4 (*.mp4)"));
    };
    ouvrirFichier = [](const QUrl& u) { return QDesktopServices::openUrl(u); };

    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    auto* carte = style::carte();
    l->addWidget(carte);
    auto* v = new QVBoxLayout(carte);
    v->setContentsMargins(16, 14, 16, 14);
    v->setSpacing(8);
    v->addWidget(style::etiquette(QStringLiteral("Enregistrement"), QStringLiteral("titreCarte"), carte));
    message_ = style::etiquette({}, QStringLiteral("secondaire"), carte);
    message_->setWordWrap(true);

    if (!appel.enregistrement) {
        utile_ = avertissement.has_value();
        if (avertissement)
            v->addWidget(style::etiquette(*avertissement, QStringLiteral("erreur"), carte));
        message_->hide();
        v->addWidget(message_);
        setVisible(utile_);
        return;
    }
    utile_ = true;
    const model::EnregistrementAppel& e = *appel.enregistrement;
    fichier_ = QDir(dossier).filePath(e.fichier);
    duree_ = e.dureeSec;
    v->addWidget(style::etiquette(QStringLiteral("%1 · %2 · %3")
                                      .arg(dureeLisible(e.dureeSec), platform::tailleLisible(e.taille),
                                           e.video ? QStringLiteral("son et image") : QStringLiteral("son seul")),
                                  QStringLiteral("secondaire"), carte));
    if (avertissement)
        v->addWidget(style::etiquette(*avertissement, QStringLiteral("legende"), carte));
    const bool present = QFileInfo::exists(fichier_);
    auto* boutons = new QHBoxLayout;
    auto* lire = style::bouton(QStringLiteral("Lire l'enregistrement"), QStringLiteral("primaire"), carte);
    lire->setEnabled(present);
    connect(lire, &QPushButton::clicked, this, &BlocEnregistrement::lire);
    boutons->addWidget(lire);
    boutons->addSpacing(12);
    boutons->addWidget(style::etiquette(QStringLiteral("Extrait de"), QStringLiteral("secondaire"), carte));
    debut_ = new QLineEdit(QStringLiteral("0:00"), carte);
    fin_ = new QLineEdit(ecrireMoment(std::min(duree_, 60.0)), carte);
    for (QLineEdit* c : {debut_, fin_}) {
        c->setMaximumWidth(80);
        c->setPlaceholderText(QStringLiteral("m:ss"));
        c->setEnabled(present);
    }
    boutons->addWidget(debut_);
    boutons->addWidget(style::etiquette(QStringLiteral("à"), QStringLiteral("secondaire"), carte));
    boutons->addWidget(fin_);
    auto* exporter = style::bouton(QStringLiteral("Exporter un extrait…"), {}, carte);
    exporter->setObjectName(QStringLiteral("exporterExtrait"));
    exporter->setEnabled(present);
    connect(exporter, &QPushButton::clicked, this, &BlocEnregistrement::exporterDemande);
    boutons->addWidget(exporter);
    boutons->addStretch(1);
    v->addLayout(boutons);
    v->addWidget(message_);
    if (present)
        message_->hide();
    else
        montrer(call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::fichierAbsent, {}}.description(), true);
}

void BlocEnregistrement::montrer(const QString& texte, bool erreur)
{
    message_->setText(texte);
    message_->setProperty("role", erreur ? QStringLiteral("erreur") : QStringLiteral("secondaire"));
    message_->setVisible(!texte.isEmpty());
}

QString BlocEnregistrement::message() const { return message_->text(); }

void BlocEnregistrement::lire()
{
    if (!QFileInfo::exists(fichier_)) {
        montrer(call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::fichierAbsent, {}}.description(), true);
        return;
    }
    if (!ouvrirFichier(QUrl::fromLocalFile(fichier_)))
        montrer(QStringLiteral("Aucun lecteur vidéo n'a pu ouvrir l'enregistrement. Le fichier est ici : %1").arg(fichier_), true);
}

void BlocEnregistrement::exporterDemande()
{
    if (!debut_)
        return;
    const auto debut = lireMoment(debut_->text()), fin = lireMoment(fin_->text());
    if (!debut || !fin) {
        montrer(QStringLiteral("Indiquez le début et la fin en minutes et secondes, par exemple 1:30."), true);
        return;
    }
    if (*fin <= *debut) {
        montrer(QStringLiteral("La fin de l'extrait doit venir après son début."), true);
        return;
    }
    if (*debut >= duree_) {
        montrer(QStringLiteral("L'enregistrement dure %1 : l'extrait doit commencer avant.").arg(ecrireMoment(duree_)), true);
        return;
    }
    if (!QFileInfo::exists(fichier_)) {
        montrer(call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::fichierAbsent, {}}.description(), true);
        return;
    }
    const QString base = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    const QString proposition = QDir(base.isEmpty() ? QDir::homePath() : base)
                                    .filePath(QStringLiteral("%1-extrait-%2.mp4")
                                                  .arg(QFileInfo(fichier_).completeBaseName(),
                                                       ecrireMoment(*debut).replace(QLatin1Char(':'), QLatin1Char('-'))));
    QString vers = demanderFichier(proposition);
    if (vers.isEmpty())
        return;
    if (!vers.endsWith(QStringLiteral(".mp4"), Qt::CaseInsensitive))
        vers += QStringLiteral(".mp4");
    if (const auto r = call::exporterExtrait(fichier_, *debut, std::min(*fin, duree_), vers); !r) {
        montrer(r.erreur().description(), true);
        return;
    }
    montrer(QStringLiteral("Extrait enregistré : %1").arg(QFileInfo(vers).fileName()), false);
}

} // namespace vd::app
