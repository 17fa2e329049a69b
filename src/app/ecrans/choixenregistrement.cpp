#include "choixenregistrement.h"

#include "platform/capturevideo.h"
#include "platform/formulation.h"
#include "app/ui.h"
#include "ui/ecrans/style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vd::app {

namespace {

bool estEcran(const model::CibleEnregistrement& c) { return c.type.isEmpty() || c.type == QLatin1String("ecran"); }

} // namespace

ChoixEnregistrement::ChoixEnregistrement(const model::ReglagesEnregistrement& reglages, std::optional<bool> enregistrer,
                                         std::optional<model::CibleEnregistrement> cible,
                                         call::EnregistreurAppel::ListeFenetres liste, QWidget* parent)
    : QWidget(parent), liste_(liste ? std::move(liste) : call::EnregistreurAppel::listeSysteme()),
      choisie_(cible.value_or(reglages.cible))
{
    setObjectName(QStringLiteral("choixEnregistrement"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(6);
    case_ = new QCheckBox(QStringLiteral("Enregistrer cet appel (son et image)"), this);
    case_->setChecked(enregistrer.value_or(reglages.actif));
    l->addWidget(case_);
    auto* h = new QHBoxLayout;
    h->addWidget(style::etiquette(QStringLiteral("Filmer :"), QStringLiteral("secondaire"), this));
    cibleBox_ = new QComboBox(this);
    cibleBox_->setObjectName(QStringLiteral("cibleEnregistrement"));
    cibleBox_->setMinimumWidth(320);
    h->addWidget(cibleBox_, 1);
    relire_ = style::bouton(QStringLiteral("Actualiser"), QStringLiteral("lien"), this);
    relire_->setToolTip(QStringLiteral("Relire la liste des fenêtres ouvertes"));
    h->addWidget(relire_);
    l->addLayout(h);
    note_ = style::etiquette({}, QStringLiteral("legende"), this);
    note_->setWordWrap(true);
    l->addWidget(note_);
    mention_ = style::etiquette(QStringLiteral("À dire au prospect en début d'appel : « %1 »").arg(reglages.mention),
                                QStringLiteral("legende"), this);
    mention_->setWordWrap(true);
    l->addWidget(mention_);

    connect(case_, &QCheckBox::toggled, this, [this] {
        majNote();
        Q_EMIT change();
    });
    connect(cibleBox_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0 && i < cibles_.size())
            choisie_ = cibles_[i];
        majNote();
        Q_EMIT change();
    });
    connect(relire_, &QPushButton::clicked, this, &ChoixEnregistrement::actualiser);
    actualiser();
}

void ChoixEnregistrement::actualiser()
{
    const model::CibleEnregistrement garder = choisie_;
    QSignalBlocker bloque(cibleBox_);
    cibleBox_->clear();
    cibles_.clear();
    cibles_.append(model::CibleEnregistrement{});
    cibleBox_->addItem(libelleEcran());
    if (platform::choixParLeBureau()) {
        // Windows cannot be listed here: the desktop's own dialog picks one when the call starts.
        relire_->hide();
        cibles_.append(estEcran(garder) ? model::CibleEnregistrement{QStringLiteral("fenetre"), {}, {}, {}} : garder);
        cibleBox_->addItem(libelleFenetreBureau());
        noteListe_ = QStringLiteral("Au début de l'appel, votre bureau vous demandera quoi filmer.");
        const int index = estEcran(garder) ? 0 : 1;
        cibleBox_->setCurrentIndex(index);
        choisie_ = cibles_[index];
        majNote();
        return;
    }
    const auto fenetres = liste_();
    noteListe_ = fenetres ? QString()
                          : call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::listeIndisponible, {}}.description();
    int index = 0;
    std::optional<call::FenetreProposee> retrouvee;
    if (!estEcran(garder) && fenetres)
        retrouvee = call::retrouverFenetre(*fenetres, garder);
    for (const call::FenetreProposee& f : fenetres.value_or(QList<call::FenetreProposee>{})) {
        cibles_.append(f.cible());
        cibleBox_->addItem(f.reunion ? QStringLiteral("Réunion · ") + f.libelle() : f.libelle());
        if (retrouvee && f == *retrouvee)
            index = int(cibles_.size()) - 1;
    }
    if (!estEcran(garder) && !retrouvee) {
        // The saved window is closed: kept, with the warning the call would give.
        cibles_.append(garder);
        cibleBox_->addItem(QStringLiteral("%1 (fermée)").arg(call::nomCible(garder)));
        index = int(cibles_.size()) - 1;
    }
    cibleBox_->setCurrentIndex(index);
    choisie_ = cibles_[index];
    majNote();
}

void ChoixEnregistrement::majNote()
{
    const bool on = case_->isChecked();
    cibleBox_->setEnabled(on);
    mention_->setVisible(on);
    QString texte;
    if (on) {
        const int i = cibleBox_->currentIndex();
        const bool fermee = !estEcran(choisie_) && cibleBox_->itemText(i).endsWith(QStringLiteral("(fermée)"));
        texte = fermee ? call::ErreurEnregistrement{call::ErreurEnregistrement::Genre::fenetreIntrouvable, call::nomCible(choisie_)}
                             .description()
                       : noteListe_;
    }
    note_->setText(texte);
    note_->setVisible(!texte.isEmpty());
}

bool ChoixEnregistrement::enregistrer() const { return case_->isChecked(); }

model::CibleEnregistrement ChoixEnregistrement::cible() const { return choisie_; }

QStringList ChoixEnregistrement::libelles() const
{
    QStringList l;
    for (int i = 0; i < cibleBox_->count(); ++i)
        l << cibleBox_->itemText(i);
    return l;
}

int ChoixEnregistrement::indexChoisi() const { return cibleBox_->currentIndex(); }

void ChoixEnregistrement::choisir(bool enregistrer, int index)
{
    case_->setChecked(enregistrer);
    if (index >= 0 && index < cibleBox_->count())
        cibleBox_->setCurrentIndex(index);
}

QString ChoixEnregistrement::note() const { return note_->text(); }

} // namespace vd::app
