#include "panneausouffleur.h"

#include "model/json.h"
#include "model/texte.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vd::ai {

namespace {
constexpr int dureeMessageBrefMs = 4000;
}

PanneauSouffleur::PanneauSouffleur(Souffleur& souffleur, platform::Horloge& horloge, QObject* parent)
    : QObject(parent), souffleur_(souffleur), horloge_(horloge)
{
    compteARebours_ = horloge_.creerMinuterie(this);
    connect(compteARebours_, &platform::Minuterie::expire, this, [this] {
        if (!finActive_)
            return;
        if (--secondesFin_ <= 0) {
            annulerFin();
            return;
        }
        compteARebours_->demarrer(1000);
        Q_EMIT change();
    });
    effacement_ = horloge_.creerMinuterie(this);
    effacement_->setUnique(true);
    connect(effacement_, &platform::Minuterie::expire, this, [this] {
        accuse_.reset();
        messageBref_.reset();
        Q_EMIT change();
    });
    connect(&souffleur_, &Souffleur::aidesChangees, this, [this] {
        suivreNouvellesReponses();
        Q_EMIT change();
    });
    connect(&souffleur_, &Souffleur::aideChangee, this, [this] { Q_EMIT change(); });
    connect(&souffleur_, &Souffleur::detectionChangee, this, [this] { Q_EMIT change(); });
    connect(&souffleur_, &Souffleur::qualificationChangee, this, [this] { Q_EMIT change(); });
    connect(&souffleur_, &Souffleur::questionsEtapeChangees, this, [this] { Q_EMIT change(); });
    connect(&souffleur_, &Souffleur::contexteChange, this, [this] { Q_EMIT change(); });
    connect(&souffleur_, &Souffleur::erreurChangee, this, [this] {
        erreurLocale_ = souffleur_.erreur() ? std::optional(libelles::pasDeReponse) : std::nullopt;
        Q_EMIT change();
    });
}

void PanneauSouffleur::setReglages(const model::ReglagesSouffleur& r)
{
    reglages_ = r;
    Q_EMIT change();
}

void PanneauSouffleur::setEtatAppel(const QString& etat, const QString& codeTranscription)
{
    code_ = codeTranscription;
    ModeEcoute m = ModeEcoute::repos;
    if (etat == QLatin1String("connexion"))
        m = ModeEcoute::connexion;
    else if (etat == QLatin1String("pause"))
        m = ModeEcoute::pause;
    else if (etat == QLatin1String("termine"))
        m = ModeEcoute::fini;
    else if (etat == QLatin1String("enCours")) {
        if (code_ == QLatin1String("coupee"))
            m = ModeEcoute::coupee;
        else if (code_ == QLatin1String("reconnexion") || !coaching_.isEmpty())
            m = ModeEcoute::alerte;
        else
            m = ModeEcoute::ecoute;
    }
    if (m == ModeEcoute::repos || m == ModeEcoute::fini)
        annulerFin();
    if (m != mode_) {
        mode_ = m;
        Q_EMIT change();
    }
}

void PanneauSouffleur::setCoaching(const QStringList& alertes)
{
    if (alertes == coaching_)
        return;
    coaching_ = alertes;
    // Re-derive the indicator: an alert shows as such while listening.
    if (mode_ == ModeEcoute::ecoute || mode_ == ModeEcoute::alerte)
        setEtatAppel(QStringLiteral("enCours"), code_);
    Q_EMIT change();
}

QString PanneauSouffleur::messageEcoute() const
{
    switch (mode_) {
    case ModeEcoute::repos:
        return QStringLiteral("Aucun appel en cours");
    case ModeEcoute::connexion:
        return QStringLiteral("Connexion en cours…");
    case ModeEcoute::ecoute:
        return QStringLiteral("À l'écoute");
    case ModeEcoute::alerte:
        if (code_ == QLatin1String("reconnexion"))
            return QStringLiteral("Connexion à la transcription perdue. Reconnexion en cours…");
        return coaching_.isEmpty() ? QStringLiteral("À l'écoute") : coaching_.first();
    case ModeEcoute::pause:
        return QStringLiteral("Appel en pause : la transcription est suspendue.");
    case ModeEcoute::coupee:
        return QStringLiteral("La transcription est coupée. L'appel continue.");
    case ModeEcoute::fini:
        return QStringLiteral("Appel terminé");
    }
    return {};
}

void PanneauSouffleur::setObjectifEtBrief(const QString& objectif, bool avecBrief)
{
    objectif_ = objectif.trimmed();
    avecBrief_ = avecBrief;
    Q_EMIT change();
}

QString PanneauSouffleur::texteObjectif() const
{
    return objectif_.isEmpty() ? libelles::sansObjectif : objectif_;
}

QString PanneauSouffleur::texteBrief() const
{
    return avecBrief_ ? QString() : libelles::sansBrief;
}

void PanneauSouffleur::setGrille(const QList<QPair<QString, QString>>& items)
{
    grille_ = items;
    Q_EMIT change();
}

QString PanneauSouffleur::itemAObtenir() const
{
    const QSet<QString> entendus = souffleur_.itemsEntendus();
    for (const auto& [id, nom] : grille_) {
        if (!entendus.contains(id))
            return libelles::itemManquant + nom;
    }
    return {};
}

QList<PanneauSouffleur::ItemGrille> PanneauSouffleur::grilleCochee() const
{
    const QSet<QString> entendus = souffleur_.itemsEntendus();
    QList<ItemGrille> r;
    for (const auto& [id, nom] : grille_)
        r.append({id, nom, entendus.contains(id)});
    return r;
}

void PanneauSouffleur::setEtapeChoisie(const std::optional<QString>& id)
{
    if (etapeChoisie_ == id)
        return;
    etapeChoisie_ = id;
    Q_EMIT change();
}

std::optional<PanneauSouffleur::EtapeAffichee> PanneauSouffleur::etapeCourante() const
{
    const QJsonArray etapes = souffleur_.etapes();
    if (etapes.isEmpty())
        return std::nullopt;
    const QStringList& posees = souffleur_.questionsEtapePosees();
    auto idDe = [](const QJsonValue& e) { return e.toObject().value(QLatin1String("id")).toString().trimmed(); };
    auto questionsDe = [](const QJsonValue& e) { return model::lire::textes(e.toObject().value(QLatin1String("questions"))); };
    qsizetype choix = -1;
    if (etapeChoisie_)
        for (qsizetype i = 0; i < etapes.size() && choix < 0; ++i)
            if (idDe(etapes[i]) == etapeChoisie_->trimmed())
                choix = i;
    for (qsizetype i = 0; i < etapes.size() && choix < 0; ++i) {
        const QStringList qs = questionsDe(etapes[i]);
        for (qsizetype k = 0; k < qs.size() && choix < 0; ++k)
            if (!posees.contains(idDe(etapes[i]) + QLatin1Char('#') + QString::number(k)))
                choix = i;
    }
    if (choix < 0)
        choix = etapes.size() - 1;
    const QJsonObject o = etapes[choix].toObject();
    EtapeAffichee e;
    e.id = idDe(o);
    e.nom = model::lire::texte(o.value(QLatin1String("nom")), QString());
    e.objectif = model::lire::texte(o.value(QLatin1String("objectif")), QString());
    e.transition = model::lire::texte(o.value(QLatin1String("transition")), QString());
    const QStringList qs = questionsDe(o);
    for (qsizetype k = 0; k < qs.size(); ++k)
        e.questions.append({qs[k], posees.contains(e.id + QLatin1Char('#') + QString::number(k))});
    e.rang = int(choix + 1);
    e.total = int(etapes.size());
    return e;
}

QString PanneauSouffleur::titreEtape() const
{
    const auto e = etapeCourante();
    return e ? QStringLiteral("Étape %1 / %2 : %3").arg(e->rang).arg(e->total).arg(e->nom) : QString();
}

void PanneauSouffleur::setPartageEcran(bool partage)
{
    if (partage_ == partage)
        return;
    partage_ = partage;
    Q_EMIT change();
}

void PanneauSouffleur::setVisible(bool v)
{
    if (visible_ == v)
        return;
    visible_ = v;
    Q_EMIT change();
}

void PanneauSouffleur::setDeplie(bool d)
{
    if (deplie_ == d)
        return;
    deplie_ = d;
    Q_EMIT change();
}

std::optional<model::Detection> PanneauSouffleur::objectionAffichee() const
{
    auto d = souffleur_.derniereDetection();
    if (!d || (ignoree_ && *ignoree_ == *d))
        return std::nullopt;
    return d;
}

void PanneauSouffleur::ignorerObjection()
{
    ignoree_ = souffleur_.derniereDetection();
    Q_EMIT change();
}

Resultat<QString, QString> PanneauSouffleur::cliquerObjection()
{
    return aide(QStringLiteral("objection"));
}

Resultat<QString, QString> PanneauSouffleur::aide(const QString& tache)
{
    auto r = souffleur_.demander(tache);
    if (!r.ok()) {
        montrerBref(r.erreur());
        return r;
    }
    enCoursSuivi_ = r.valeur();
    choisie_.reset();
    Q_EMIT change();
    return r;
}

Resultat<QString, QString> PanneauSouffleur::poser(const QString& question)
{
    auto r = souffleur_.question(question);
    if (!r.ok()) {
        montrerBref(r.erreur());
        return r;
    }
    enCoursSuivi_ = r.valeur();
    choisie_.reset();
    Q_EMIT change();
    return r;
}

void PanneauSouffleur::suivreNouvellesReponses()
{
    const QStringList h = souffleur_.historique();
    // The request just fired has finished: show it, unless the user went back to an older answer meanwhile.
    if (!enCoursSuivi_.isEmpty()) {
        const AideLive* a = souffleur_.aide(enCoursSuivi_);
        if (!a) {
            enCoursSuivi_.clear();
        } else if (a->statut == AideLive::Statut::ok) {
            if (!choisie_)
                choisir(enCoursSuivi_);
            enCoursSuivi_.clear();
        }
    }
    if (choisie_ && !h.contains(*choisie_))
        choisie_.reset();
}

void PanneauSouffleur::choisir(const QString& id)
{
    choisie_ = id;
    vues_.insert(id);
}

const AideLive* PanneauSouffleur::reponseAffichee() const
{
    if (choisie_)
        return souffleur_.aide(*choisie_);
    if (!enCoursSuivi_.isEmpty())
        return souffleur_.aide(enCoursSuivi_);
    const QStringList h = souffleur_.historique();
    return h.isEmpty() ? nullptr : souffleur_.aide(h.last());
}

QString PanneauSouffleur::texteReponse() const
{
    const AideLive* a = reponseAffichee();
    if (!a)
        return {};
    if (a->statut == AideLive::Statut::erreur)
        return libelles::pasDeReponse;
    if (a->resultat)
        return texteDe(*a->resultat);
    if (a->partiel)
        return texteDe(*a->partiel);
    return {};
}

QString PanneauSouffleur::compteur() const
{
    const QStringList h = souffleur_.historique();
    const AideLive* a = reponseAffichee();
    if (h.size() < 2 || !a)
        return {};
    const qsizetype i = h.indexOf(a->id);
    if (i < 0)
        return {};
    return QStringLiteral("%1 / %2").arg(i + 1).arg(h.size());
}

bool PanneauSouffleur::peutPrecedente() const
{
    const QStringList h = souffleur_.historique();
    const AideLive* a = reponseAffichee();
    if (h.isEmpty())
        return false;
    if (!a || a->statut != AideLive::Statut::ok)
        return true;
    return h.indexOf(a->id) > 0;
}

bool PanneauSouffleur::peutSuivante() const
{
    const QStringList h = souffleur_.historique();
    const AideLive* a = reponseAffichee();
    if (!a)
        return false;
    const qsizetype i = h.indexOf(a->id);
    return i >= 0 && i + 1 < h.size();
}

void PanneauSouffleur::precedente()
{
    const QStringList h = souffleur_.historique();
    const AideLive* a = reponseAffichee();
    if (h.isEmpty())
        return;
    qsizetype i = a ? h.indexOf(a->id) : -1;
    // From a request still streaming, "previous" is the newest finished answer.
    i = i < 0 ? h.size() - 1 : i - 1;
    if (i < 0)
        return;
    choisir(h[i]);
    Q_EMIT change();
}

void PanneauSouffleur::suivante()
{
    const QStringList h = souffleur_.historique();
    const AideLive* a = reponseAffichee();
    if (!a)
        return;
    const qsizetype i = h.indexOf(a->id);
    if (i < 0 || i + 1 >= h.size())
        return;
    choisir(h[i + 1]);
    Q_EMIT change();
}

void PanneauSouffleur::noter(bool utile)
{
    const AideLive* a = reponseAffichee();
    if (!a || a->statut != AideLive::Statut::ok)
        return;
    souffleur_.noter(a->id, utile);
    accuse_ = utile ? libelles::utile : libelles::peuUtile;
    effacement_->demarrer(dureeMessageBrefMs);
    Q_EMIT change();
}

void PanneauSouffleur::montrerBref(const QString& m)
{
    messageBref_ = m;
    effacement_->demarrer(dureeMessageBrefMs);
    Q_EMIT change();
}

void PanneauSouffleur::marquerMoment()
{
    if (mode_ == ModeEcoute::repos || mode_ == ModeEcoute::fini) {
        montrerBref(Souffleur::messagePasDAppel());
        return;
    }
    if (actions_.marquerMoment)
        actions_.marquerMoment();
    accuse_ = libelles::momentMarque;
    effacement_->demarrer(dureeMessageBrefMs);
    Q_EMIT change();
}

bool PanneauSouffleur::ajouterNote(const QString& texte)
{
    if (texte.trimmed().isEmpty())
        return false;
    if (mode_ == ModeEcoute::repos || mode_ == ModeEcoute::fini) {
        montrerBref(Souffleur::messagePasDAppel());
        return false;
    }
    if (actions_.ajouterNote)
        actions_.ajouterNote(texte.trimmed());
    accuse_ = libelles::noteRangee;
    effacement_->demarrer(dureeMessageBrefMs);
    Q_EMIT change();
    return true;
}

void PanneauSouffleur::basculerPause()
{
    if (mode_ == ModeEcoute::pause) {
        if (actions_.reprendre)
            actions_.reprendre();
    } else if (mode_ != ModeEcoute::repos && mode_ != ModeEcoute::fini && mode_ != ModeEcoute::connexion) {
        if (actions_.pause)
            actions_.pause();
    }
}

void PanneauSouffleur::relancerTranscription()
{
    if (mode_ == ModeEcoute::coupee && actions_.relancerTranscription)
        actions_.relancerTranscription();
}

void PanneauSouffleur::demanderFin()
{
    if (mode_ == ModeEcoute::repos || mode_ == ModeEcoute::fini)
        return;
    finActive_ = true;
    secondesFin_ = secondesConfirmationFin;
    compteARebours_->demarrer(1000);
    Q_EMIT change();
}

void PanneauSouffleur::confirmerFin()
{
    if (!finActive_)
        return;
    finActive_ = false;
    compteARebours_->arreter();
    if (actions_.terminer)
        actions_.terminer();
    Q_EMIT change();
}

void PanneauSouffleur::annulerFin()
{
    if (!finActive_)
        return;
    finActive_ = false;
    secondesFin_ = 0;
    compteARebours_->arreter();
    Q_EMIT change();
}

QString PanneauSouffleur::texteDe(const QJsonValue& v)
{
    if (v.isString())
        return v.toString().trimmed();
    if (v.isDouble() || v.isBool())
        return model::lire::texte(v, QString());
    if (v.isArray()) {
        QStringList lignes;
        for (const QJsonValue& e : v.toArray()) {
            const QString t = texteDe(e);
            if (!t.isEmpty())
                lignes << QStringLiteral("• ") + t;
        }
        return lignes.join(QLatin1Char('\n'));
    }
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (const char* cle : {"reponse", "phrase", "texte", "recap", "questions", "points", "resume"}) {
            const QString t = texteDe(o.value(QLatin1String(cle)));
            if (!t.isEmpty())
                return t;
        }
        QStringList parts;
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (it.value().isString() || it.value().isArray()) {
                const QString t = texteDe(it.value());
                if (!t.isEmpty())
                    parts << t;
            }
        }
        return parts.join(QLatin1Char('\n'));
    }
    return {};
}

} // namespace vd::ai
