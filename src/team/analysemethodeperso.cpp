#include "analysemethodeperso.h"

#include "model/store.h"
#include "model/texte.h"

#include <QJsonArray>
#include <QLoggingCategory>
#include <QUuid>

Q_LOGGING_CATEGORY(lcMethodePerso, "vd.team.framework")

namespace vd::team {

namespace {
const QString tache = QStringLiteral("framework");
const QString modeleParDefaut = QStringLiteral("claude-sonnet-5-5");
} // namespace

AnalyseMethodePerso::AnalyseMethodePerso(model::Store& store, ai::Moteur& moteur, ai::ClientIABase& client, QObject* parent)
    : QObject(parent), store_(store), moteur_(moteur), client_(client)
{
}

AnalyseMethodePerso::~AnalyseMethodePerso()
{
    if (tache_)
        tache_->annuler();
}

void AnalyseMethodePerso::setTexte(const QString& t)
{
    if (t == texte_)
        return;
    texte_ = t;
    Q_EMIT change();
}

void AnalyseMethodePerso::setBrouillon(const FrameworkVente& f)
{
    brouillon_ = f;
    Q_EMIT change();
}

void AnalyseMethodePerso::echouer(const QString& message)
{
    erreur_ = message;
    etat_ = Etat::saisie;
    tache_.clear();
    Q_EMIT change();
}

bool AnalyseMethodePerso::analyser()
{
    const quint64 jeton = ++jeton_;
    if (tache_) {
        tache_->annuler();
        tache_->deleteLater();
        tache_.clear();
    }
    enregistre_.reset();
    if (texte_.trimmed().toUcs4().size() < limites::texteMethodeMin) {
        echouer(textesFramework::texteTropCourt);
        return false;
    }
    auto payload = moteur_.appelerJSON(QStringLiteral("payloadGuideEtapes"),
                                       {texte_.trimmed(), QJsonObject{{QStringLiteral("methode"), store_.etat().reglages.methode}}});
    if (!payload.ok() || !payload.valeur().isObject()) {
        qCWarning(lcMethodePerso) << "payload indisponible:" << (payload.ok() ? QStringLiteral("pas un objet") : payload.erreur().description());
        echouer(textesFramework::analyseEchouee);
        return false;
    }
    ai::RequeteIA r;
    r.tache = tache;
    r.payload = payload.valeur();
    const QString modele = store_.etat().reglages.modeles.analyse.trimmed();
    r.modele = modele.isEmpty() ? modeleParDefaut : modele;
    r.formatStructure = true;
    ai::DemandeIA* d = client_.envoyer(r);
    if (!d) {
        echouer(textesFramework::analyseEchouee);
        return false;
    }
    d->setParent(this);
    tache_ = d;
    erreur_.reset();
    etat_ = Etat::analyse;
    const QJsonValue entree = payload.valeur();
    connect(d, &ai::DemandeIA::fini, this, [this, d, jeton, entree](const QString& t, const ai::InfosGeneration&) {
        d->deleteLater();
        if (jeton != jeton_)
            return;
        const auto lu = lireReponse(moteur_, t, entree);
        if (!lu) {
            echouer(textesFramework::analyseEchouee);
            return;
        }
        if (lu->first.etapes.isEmpty()) {
            echouer(textesFramework::sansEtapes);
            return;
        }
        tache_.clear();
        apercu_ = lu->first;
        brouillon_ = lu->first;
        brouillon_.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        conseils_ = lu->second;
        etat_ = Etat::resultat;
        Q_EMIT change();
    });
    connect(d, &ai::DemandeIA::echec, this, [this, d, jeton](const QString&, const QString&, int) {
        d->deleteLater();
        if (jeton == jeton_)
            echouer(textesFramework::analyseEchouee);
    });
    Q_EMIT change();
    return true;
}

std::optional<std::pair<FrameworkVente, QStringList>> AnalyseMethodePerso::lireReponse(ai::Moteur& moteur, const QString& texte,
                                                                                       const QJsonValue& payload)
{
    auto r = moteur.appelerJSON(QStringLiteral("normaliserFrameworkTexte"), {texte, payload});
    if (!r.ok() || !r.valeur().isObject())
        return std::nullopt;
    const QJsonObject o = r.valeur().toObject();
    auto f = FrameworkVente::depuisJson(o.value(QLatin1String("framework")));
    if (!f)
        return std::nullopt;
    // Model text never reaches the user unfiltered.
    f->nom = model::neutraliser(f->nom);
    f->description = model::neutraliser(f->description);
    for (EtapeFramework& e : f->etapes) {
        e.nom = model::neutraliser(e.nom);
        e.objectif = model::neutraliser(e.objectif);
        e.transition = model::neutraliser(e.transition);
        for (QString& q : e.questions)
            q = model::neutraliser(q);
        for (QString& c : e.criteres)
            c = model::neutraliser(c);
        for (ObjectionEtape& x : e.objections) {
            x.texte = model::neutraliser(x.texte);
            x.reponse = model::neutraliser(x.reponse);
        }
    }
    QStringList conseils;
    for (const QString& c : model::lire::textes(o.value(QLatin1String("conseils"))))
        if (const QString n = model::neutraliser(c.trimmed()); !n.isEmpty())
            conseils << n;
    return std::make_pair(*f, conseils);
}

bool AnalyseMethodePerso::enregistrer(std::optional<QString> compteId)
{
    if (etat_ != Etat::resultat)
        return false;
    if (auto m = enregistrerFramework(store_, brouillon_, std::move(compteId))) {
        erreur_ = *m;
        Q_EMIT change();
        return false;
    }
    enregistre_ = frameworkParId(store_.etat(), brouillon_.id);
    erreur_.reset();
    etat_ = Etat::enregistre;
    Q_EMIT change();
    return true;
}

void AnalyseMethodePerso::recommencer()
{
    ++jeton_;
    if (tache_) {
        tache_->annuler();
        tache_->deleteLater();
        tache_.clear();
    }
    etat_ = Etat::saisie;
    erreur_.reset();
    Q_EMIT change();
}

} // namespace vd::team
