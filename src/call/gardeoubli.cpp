#include "call/gardeoubli.h"

#include "call/sessionappel.h"
#include "platform/horloge.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

namespace vd::call {

namespace {
qint64 borne(std::optional<qint64> minutes, qint64 defaut, qint64 min, qint64 max)
{
    return std::clamp(minutes.value_or(defaut), min, max) * 60;
}
} // namespace

ReglagesOubli ReglagesOubli::depuisCompte(const std::optional<QJsonObject>& monCompte)
{
    const QJsonObject q = monCompte ? monCompte->value(QLatin1String("quilloAppel")).toObject() : QJsonObject();
    auto minutes = [&q](const char* cle) -> std::optional<qint64> {
        const QJsonValue v = q.value(QLatin1String(cle));
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return std::nullopt;
        return qint64(std::llround(v.toDouble()));
    };
    return depuisMinutes(minutes("silenceAvantAlerteMin"), minutes("delaiArretMin"), minutes("dureeMaxMin"));
}

ReglagesOubli ReglagesOubli::depuisMinutes(std::optional<qint64> silenceAvantAlerteMin, std::optional<qint64> delaiArretMin,
                                           std::optional<qint64> dureeMaxMin)
{
    return ReglagesOubli{borne(silenceAvantAlerteMin, 5, 1, 60), borne(delaiArretMin, 2, 1, 30), borne(dureeMaxMin, 180, 30, 720)};
}

// --- Rules ---------------------------------------------------------------------

GardeOubli GardeOubli::demarrer(const ReglagesOubli& reglages, double t)
{
    GardeOubli g;
    g.reglages = reglages;
    g.derniereVoix = t;
    g.plafond = double(reglages.dureeMaxSec);
    return g;
}

GardeOubli::Action GardeOubli::voix(double t)
{
    derniereVoix = std::max(derniereVoix, t);
    if (alerte && alerte->motif == MotifOubli::silence) {
        alerte.reset();
        return Action::retirerAlerte;
    }
    return Action::rien;
}

GardeOubli::Action GardeOubli::tic(double t)
{
    // The cap alert comes at most 5 minutes, and at most half the cap, before the cap.
    const double marge = std::min(plafond * 0.5, 300.0);
    if (alerte && t >= alerte->echeance)
        return alerte->motif == MotifOubli::plafond ? Action::arretPlafond : Action::arretSilence;
    if (t >= plafond - marge && (!alerte || alerte->motif != MotifOubli::plafond)) {
        alerte = Alerte{MotifOubli::plafond, t, std::max(plafond, t + marge), plafond};
        return Action::alertePlafond;
    }
    if (!alerte) {
        const double silence = std::max(t - derniereVoix, 0.0);
        if (silence >= double(reglages.silenceAvantAlerteSec)) {
            alerte = Alerte{MotifOubli::silence, t, t + double(reglages.delaiArretSec), silence};
            return Action::alerteSilence;
        }
    }
    return Action::rien;
}

GardeOubli::Action GardeOubli::continuer(double t)
{
    if (!alerte)
        return Action::rien;
    if (alerte->motif == MotifOubli::plafond)
        plafond = std::max(plafond, t) + 3600;
    derniereVoix = std::max(derniereVoix, t);
    alerte.reset();
    return Action::retirerAlerte;
}

double GardeOubli::dureeArret(MotifOubli motif, double t) const
{
    return motif == MotifOubli::plafond ? t : std::max(t - derniereVoix, 0.0);
}

// --- Texts ---------------------------------------------------------------------

namespace texteoubli {

QString dureeLongue(double secondes)
{
    const qint64 minutes = std::max<qint64>(qint64(std::floor(secondes / 60)), 1);
    if (minutes <= 59)
        return QStringLiteral("%1 min").arg(minutes);
    const qint64 reste = minutes % 60;
    if (reste == 0)
        return QStringLiteral("%1 h").arg(minutes / 60);
    return QStringLiteral("%1 h %2").arg(minutes / 60).arg(reste, 2, 10, QLatin1Char('0'));
}

QString explication(const ReglagesOubli& r)
{
    return QStringLiteral("Appel oublié : après %1 sans personne qui parle, ou vers %2 d'appel, Vendalo vous demande si l'appel "
                          "continue. Sans réponse, il l'arrête %3 plus tard, l'enregistre et lance l'analyse.")
        .arg(dureeLongue(double(r.silenceAvantAlerteSec)), dureeLongue(double(r.dureeMaxSec)), dureeLongue(double(r.delaiArretSec)));
}

QString compteARebours(double secondes)
{
    const qint64 s = std::max<qint64>(qint64(std::ceil(secondes)), 0);
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s % 60 == 0)
        return QStringLiteral("%1 min").arg(s / 60);
    return QStringLiteral("%1 min %2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString titreAlerte(const GardeOubli::Alerte& a)
{
    if (a.motif == MotifOubli::silence)
        return QStringLiteral("L'appel est toujours en cours ?");
    return QStringLiteral("L'appel dure depuis près de ") + dureeLongue(a.duree);
}

QString corpsAlerte(const GardeOubli::Alerte& a, double t)
{
    const QString suite =
        QStringLiteral("Sans réponse, l'appel s'arrête tout seul dans ") + compteARebours(a.echeance - t) + QStringLiteral(".");
    if (a.motif == MotifOubli::silence)
        return QStringLiteral("Aucune voix entendue depuis ") + dureeLongue(a.duree) + QStringLiteral(". ") + suite;
    return QStringLiteral("Toujours en cours ? ") + suite;
}

QString indiceReponse(const GardeOubli::Alerte& a)
{
    if (a.motif == MotifOubli::silence)
        return QStringLiteral("Aucune voix entendue depuis ") + dureeLongue(a.duree) + QStringLiteral(".");
    return QStringLiteral("Toujours en cours ? « Oui, continuer » ajoute ") + dureeLongue(3600) + QStringLiteral(".");
}

QString titreArret() { return QStringLiteral("Appel arrêté automatiquement"); }

QString corpsArret(MotifOubli motif, double duree)
{
    const QString fin = motif == MotifOubli::silence ? QStringLiteral(" sans voix. ") : QStringLiteral(". ");
    return QStringLiteral("Appel arrêté automatiquement après ") + dureeLongue(duree) + fin + QStringLiteral("L'analyse est lancée.");
}

QString idCarteArret(const QString& appelId) { return QStringLiteral("vd.appelOublie.arret.") + appelId; }

} // namespace texteoubli

// --- Driver --------------------------------------------------------------------

GardeAppelOublie::GardeAppelOublie(SessionAppel& session, platform::Horloge& horloge, Operations operations, Options options,
                                   QObject* parent)
    : QObject(parent), session_(session), ops_(std::move(operations)), options_(options)
{
    if (options_.avecMinuteur) {
        minuteur_ = horloge.creerMinuterie(this);
        connect(minuteur_, &platform::Minuterie::expire, this, &GardeAppelOublie::tic);
    }
    connect(&session_, &SessionAppel::etatChange, this, &GardeAppelOublie::suivreEtat);
    connect(&session_, &SessionAppel::transcriptChange, this, &GardeAppelOublie::voixEntendue);
    suivreEtat();
}

const std::optional<GardeOubli::Alerte>& GardeAppelOublie::alerte() const
{
    static const std::optional<GardeOubli::Alerte> aucune;
    return garde_ ? garde_->alerte : aucune;
}

double GardeAppelOublie::chrono() const
{
    if (ops_.lireChrono)
        if (const auto t = ops_.lireChrono())
            return *t;
    return session_.secondesEcoulees();
}

bool GardeAppelOublie::ignore() const
{
    if (!garde_ || arretLance_)
        return true;
    return !options_.inclureDemo && session_.config().source == QLatin1String("demo");
}

void GardeAppelOublie::suivreEtat()
{
    const EtatSession e = session_.etat();
    if ((e == EtatSession::enCours || e == EtatSession::pause) && session_.appelId()) {
        if (garde_)
            return;
        if (!options_.inclureDemo && session_.config().source == QLatin1String("demo"))
            return;
        garde_ = GardeOubli::demarrer(ops_.lireReglages ? ops_.lireReglages() : ReglagesOubli{}, chrono());
        arretLance_ = false;
        nbFinals_ = session_.finals().size();
        signatureInterims_.clear();
        if (minuteur_)
            minuteur_->demarrer(1000);
        return;
    }
    if (e == EtatSession::connexion || !garde_)
        return;
    // The call ended: its alert goes with it.
    const bool avaitAlerte = garde_->alerte.has_value();
    garde_.reset();
    if (minuteur_)
        minuteur_->arreter();
    if (avaitAlerte) {
        if (ops_.retirerNotification)
            ops_.retirerNotification(texteoubli::idCarteAlerte);
        Q_EMIT alerteChange();
    }
}

void GardeAppelOublie::voixEntendue()
{
    if (ignore())
        return;
    // New speech: more finals, or partial text that changed.
    QString signature;
    for (const SegmentLive& s : session_.interims())
        signature += s.texte + QLatin1Char('\n');
    const qsizetype finals = session_.finals().size();
    if (finals <= nbFinals_ && signature == signatureInterims_)
        return;
    nbFinals_ = finals;
    signatureInterims_ = signature;
    appliquer(garde_->voix(chrono()), chrono());
}

void GardeAppelOublie::tic()
{
    if (ignore() || session_.etat() != EtatSession::enCours)
        return;
    const double t = chrono();
    appliquer(garde_->tic(t), t);
}

void GardeAppelOublie::continuer()
{
    if (ignore())
        return;
    const double t = chrono();
    appliquer(garde_->continuer(t), t);
}

void GardeAppelOublie::montrerAlerte(double t)
{
    if (!ops_.notifier || !garde_->alerte)
        return;
    const GardeOubli::Alerte& a = *garde_->alerte;
    ops_.notifier(CarteOubli{texteoubli::idCarteAlerte, texteoubli::titreAlerte(a), texteoubli::corpsAlerte(a, t),
                             QStringLiteral("Revenir à l'appel"), session_.appelId()});
}

void GardeAppelOublie::appliquer(GardeOubli::Action action, double t)
{
    switch (action) {
    case GardeOubli::Action::rien:
        // The countdown of a shown alert moves on.
        if (garde_->alerte)
            montrerAlerte(t);
        return;
    case GardeOubli::Action::alerteSilence:
    case GardeOubli::Action::alertePlafond:
        montrerAlerte(t);
        Q_EMIT alerteChange();
        return;
    case GardeOubli::Action::retirerAlerte:
        if (ops_.retirerNotification)
            ops_.retirerNotification(texteoubli::idCarteAlerte);
        Q_EMIT alerteChange();
        return;
    case GardeOubli::Action::arretSilence:
        arreterAuto(MotifOubli::silence, t);
        return;
    case GardeOubli::Action::arretPlafond:
        arreterAuto(MotifOubli::plafond, t);
        return;
    }
}

void GardeAppelOublie::arreterAuto(MotifOubli motif, double t)
{
    const QString appelId = session_.appelIdTexte();
    const QString texte = texteoubli::corpsArret(motif, garde_->dureeArret(motif, t));
    arretLance_ = true;
    garde_->alerte.reset();
    if (ops_.retirerNotification)
        ops_.retirerNotification(texteoubli::idCarteAlerte);
    Q_EMIT alerteChange();
    if (!ops_.terminer)
        return;
    QPointer<GardeAppelOublie> soi(this);
    ops_.terminer(appelId, [soi, appelId, texte, t](std::optional<QString> erreur) {
        if (!soi)
            return;
        if (erreur) {
            // The call still runs: say so, and guard it again from now on
            // rather than announcing a stop that did not happen.
            if (soi->ops_.signaler)
                soi->ops_.signaler(texteoubli::echecArret);
            soi->arretLance_ = false;
            if (soi->garde_)
                soi->garde_->derniereVoix = std::max(soi->garde_->derniereVoix, t);
            return;
        }
        soi->dernierArret_ = Arret{appelId, texte};
        if (soi->ops_.notifier)
            soi->ops_.notifier(CarteOubli{texteoubli::idCarteArret(appelId), texteoubli::titreArret(), texte,
                                          QStringLiteral("Voir l'analyse"), appelId});
    });
}

} // namespace vd::call
