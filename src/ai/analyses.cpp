#include "analyses.h"
#include "etatmoteur.h"

#include "ai/effetsanalyse.h"
#include "model/texte.h"
#include "platform/horloge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAnalyse, "vd.ai.analyse")

namespace vd::ai {

namespace {

QString texteErreurMoteur(const ErreurMoteur& e)
{
    const QString d = e.description();
    return d.isEmpty() ? AnalysesEnCours::messageEchec() : d;
}

// The engine signals an incomplete input either by throwing that message or by
// answering an object that says so.
bool payloadIncomplet(const QJsonValue& v)
{
    if (!v.isObject())
        return true;
    const QJsonObject o = v.toObject();
    return o.isEmpty() || o.value(QLatin1String("incomplet")).toBool() || o.contains(QLatin1String("erreur"));
}

} // namespace

QString ErreurAnalyse::description() const
{
    switch (genre) {
    case Genre::introuvable:
        return QStringLiteral("Cet appel est introuvable.");
    case Genre::transcriptVide:
        return QStringLiteral("Le transcript est vide : il n'y a rien à analyser.");
    case Genre::message:
        break;
    }
    return detail.isEmpty() ? AnalysesEnCours::messageEchec() : detail;
}

std::optional<QJsonObject> lireObjetReponse(const QString& texte)
{
    const QString t = texte.trimmed();
    QJsonParseError err;
    QJsonDocument doc = QJsonDocument::fromJson(t.toUtf8(), &err);
    if (err.error == QJsonParseError::NoError && doc.isObject())
        return doc.object();
    const qsizetype debut = t.indexOf(QLatin1Char('{'));
    if (debut < 0)
        return std::nullopt;
    const qsizetype fin = t.lastIndexOf(QLatin1Char('}'));
    if (fin > debut) {
        doc = QJsonDocument::fromJson(t.mid(debut, fin - debut + 1).toUtf8(), &err);
        if (err.error == QJsonParseError::NoError && doc.isObject())
            return doc.object();
    }
    if (auto v = model::completerJsonPartiel(t.mid(debut)); v && v->isObject())
        return v->toObject();
    return std::nullopt;
}

AnalysesEnCours::AnalysesEnCours(model::Store& store, Moteur& moteur, ClientIABase& client, QObject* parent)
    : QObject(parent), store_(store), moteur_(moteur), client_(client)
{
}

AnalysesEnCours::~AnalysesEnCours()
{
    for (auto& c : courses_) {
        if (c.demande)
            c.demande->annuler();
    }
}

std::optional<AnalysesEnCours::Suivi> AnalysesEnCours::suivi(const QString& appelId) const
{
    auto it = suivis_.constFind(appelId);
    if (it == suivis_.constEnd())
        return std::nullopt;
    return *it;
}

QStringList AnalysesEnCours::etapes() const
{
    QStringList r;
    for (const QJsonValue& v : moteur_.donnee(QStringLiteral("ETAPES_ANALYSE")).toArray()) {
        if (v.isString())
            r << v.toString();
        else if (v.isObject())
            r << v.toObject().value(QLatin1String("libelle")).toString();
    }
    return r;
}

double AnalysesEnCours::progression(const QString& appelId) const
{
    auto s = suivi(appelId);
    if (!s)
        return 0;
    if (s->fini)
        return 1;
    const qsizetype n = etapes().size();
    return n > 0 ? std::clamp(double(s->etape) / double(n), 0.0, 1.0) : 0.0;
}

QString AnalysesEnCours::libelleAnalyse(const model::Appel& appel)
{
    return model::libelleModele(appel.modeleAnalyse.value_or(QString()));
}

QString AnalysesEnCours::avisCourt(const model::Appel& appel)
{
    if (!appel.analyse || !appel.metriques)
        return {};
    return model::avisAppelCourt(appel.metriques->nbEchanges);
}

bool AnalysesEnCours::courante(const QString& appelId, quint64 generation) const
{
    auto it = courses_.constFind(appelId);
    return it != courses_.constEnd() && it->generation == generation;
}

void AnalysesEnCours::avancer(const QString& appelId, int etape)
{
    Suivi& s = suivis_[appelId];
    if (s.etape >= etape)
        return;
    s.etape = etape;
    Q_EMIT suiviChange(appelId);
}

// The engine reads settings, company, frameworks, the library and the call's contact with
// its own calls and interactions: only that is encoded, whatever the store's size.
QJsonObject AnalysesEnCours::etatPourMoteur(const std::optional<QString>& contactId) const
{
    return etatMoteurPourContact(store_.etat(), contactId);
}

void AnalysesEnCours::analyser(const QString& appelId)
{
    // The progress entry exists before anything can fail, so every failure reaches the screen.
    if (auto it = courses_.find(appelId); it != courses_.end()) {
        if (it->demande)
            it->demande->annuler();
        courses_.erase(it);
    }
    const quint64 generation = ++generation_;
    courses_.insert(appelId, Course{generation, {}, {}, {}, 0});
    suivis_.insert(appelId, Suivi{});
    Q_EMIT suiviChange(appelId);
    demarrer(appelId, generation);
}

void AnalysesEnCours::annuler(const QString& appelId)
{
    auto it = courses_.find(appelId);
    if (it == courses_.end())
        return;
    if (it->demande)
        it->demande->annuler();
    echouer(appelId, messageAnnule(), false);
}

void AnalysesEnCours::demarrer(const QString& appelId, quint64 generation)
{
    const model::Appel* trouve = store_.etat().appel(appelId);
    if (!trouve) {
        echouer(appelId, ErreurAnalyse::introuvable().description());
        return;
    }
    const model::Appel appel = *trouve;
    const bool vide = std::all_of(appel.transcript.begin(), appel.transcript.end(),
                                  [](const model::Segment& s) { return s.texte.trimmed().isEmpty(); });
    if (vide) {
        echouer(appelId, ErreurAnalyse::transcriptVide().description());
        return;
    }

    // Engine work of the input stage, one sequence so no other caller slips in between.
    std::optional<QString> erreur;
    QJsonValue payload;
    std::optional<model::Metriques> metriques;
    const QJsonObject appelJson = model::versObjetJson(appel);
    moteur_.enSequence([&](Moteur& m) {
        avancer(appelId, 1);
        if (auto r = m.appelerJSON(QStringLiteral("metriques"), {appelJson}); r.ok())
            metriques = model::Metriques::depuisJson(r.valeur());
        avancer(appelId, 2);
        if (auto r = m.appeler(QStringLiteral("chargerEtat"), {etatPourMoteur(appel.contactId)}); !r.ok()) {
            erreur = texteErreurMoteur(r.erreur());
            return;
        }
        QJsonValue contexte;
        if (appel.contactId) {
            if (const model::Contact* c = store_.etat().contact(*appel.contactId)) {
                auto r = m.appelerJSON(QStringLiteral("contexteContact"), {model::versObjetJson(*c)});
                if (!r.ok()) {
                    erreur = texteErreurMoteur(r.erreur());
                    return;
                }
                contexte = r.valeur();
            }
        }
        const bool equipe = equipe_ && equipe_();
        auto r = m.appelerJSON(QStringLiteral("payloadAnalyse"),
                               {appelJson, contexte, QJsonObject{{QStringLiteral("equipe"), equipe}}});
        if (!r.ok()) {
            erreur = texteErreurMoteur(r.erreur());
            return;
        }
        if (payloadIncomplet(r.valeur())) {
            erreur = messagePayloadIncomplet();
            return;
        }
        QJsonObject p = r.valeur().toObject();
        if (equipe)
            p.insert(QStringLiteral("equipe"), true);
        payload = p;
    });
    if (!courante(appelId, generation))
        return;
    if (erreur) {
        echouer(appelId, *erreur);
        return;
    }
    if (metriques) {
        store_.modifier([&](model::Etat& e) {
            if (model::Appel* a = e.appel(appelId))
                a->metriques = metriques;
        });
    }

    RequeteIA requete;
    requete.tache = QStringLiteral("analyse");
    requete.payload = payload;
    requete.modele = store_.etat().reglages.modeles.analyse;
    if (requete.modele.trimmed().isEmpty())
        requete.modele = model::ChoixModeles{}.analyse;
    requete.appelId = appelId;
    requete.demo = appel.source == QLatin1String("demo");
    requete.formatStructure = false;
    avancer(appelId, 3);
    DemandeIA* d = client_.envoyer(requete);
    if (!d) {
        echouer(appelId, messageEchec());
        return;
    }
    d->setParent(this);
    Course& c = courses_[appelId];
    c.demande = d;
    c.payload = payload;
    c.modele = requete.modele;
    connect(d, &DemandeIA::partiel, this, [this, appelId, generation](const QJsonValue& v) {
        if (!courante(appelId, generation))
            return;
        suivis_[appelId].partiel = v;
        Q_EMIT suiviChange(appelId);
    });
    connect(d, &DemandeIA::fini, this, [this, appelId, generation, d](const QString& texte, const InfosGeneration& infos) {
        d->deleteLater();
        if (courante(appelId, generation))
            recevoir(appelId, generation, texte, infos);
    });
    connect(d, &DemandeIA::echec, this, [this, appelId, generation, d](const QString& message, const QString&, int) {
        d->deleteLater();
        if (courante(appelId, generation))
            echouer(appelId, message.isEmpty() ? messageEchec() : message);
    });
}

void AnalysesEnCours::recevoir(const QString& appelId, quint64 generation, const QString& texte,
                               const InfosGeneration& infos)
{
    const std::optional<QJsonObject> reponse = lireObjetReponse(texte);
    if (!reponse) {
        echouer(appelId, messageEchec());
        return;
    }
    const model::Appel* trouve = store_.etat().appel(appelId);
    if (!trouve) {
        echouer(appelId, ErreurAnalyse::introuvable().description());
        return;
    }
    model::Appel appel = *trouve;
    const QString modele = infos.modele.value_or(courses_.value(appelId).modele);
    const QString source = infos.source == SourceIA::demo    ? QStringLiteral("demo")
                           : infos.source == SourceIA::cle   ? QStringLiteral("cle")
                           : infos.source == SourceIA::cloud ? QStringLiteral("cloud")
                                                             : QStringLiteral("relais");

    const QString maintenant = model::horodatage(platform::Horloge::instance().maintenant());
    std::optional<QString> erreur;
    std::optional<model::Analyse> analyse;
    QJsonObject effets;
    moteur_.enSequence([&](Moteur& m) {
        std::optional<QJsonValue> synthese;
        if (reponse->contains(QLatin1String("syntheseManager"))) {
            auto r = m.appelerJSON(QStringLiteral("normaliserSyntheseManager"),
                                   {reponse->value(QLatin1String("syntheseManager"))});
            if (r.ok())
                synthese = r.valeur();
        }
        auto r = m.appelerJSON(QStringLiteral("finaliserAnalyse"),
                               {*reponse, model::versObjetJson(appel),
                                QJsonObject{{QStringLiteral("modele"), modele}, {QStringLiteral("source"), source}}});
        if (!r.ok()) {
            erreur = texteErreurMoteur(r.erreur());
            return;
        }
        analyse = model::Analyse::depuisJson(r.valeur());
        if (!analyse) {
            erreur = QStringLiteral("Réponse du moteur illisible. Moteur.finaliserAnalyse n'a pas rendu d'analyse.");
            return;
        }
        if (synthese)
            analyse->autres.insert(QStringLiteral("syntheseManager"), *synthese);
        // The proposed follow-up sequence stays on the call: activation is the follow-ups' decision.
        if (!analyse->relances && reponse->value(QLatin1String("relances")).isObject())
            analyse->relances = model::JSONValeur(reponse->value(QLatin1String("relances")));
        QJsonObject meta = analyse->meta && analyse->meta->qt().isObject() ? analyse->meta->qt().toObject() : QJsonObject();
        meta.insert(QStringLiteral("modele"), modele);
        meta.insert(QStringLiteral("source"), source);
        analyse->meta = model::JSONValeur(meta);
        avancer(appelId, 4);

        model::Appel avecAnalyse = appel;
        avecAnalyse.analyse = analyse;
        model::Etat etat = etatPourContact(store_.etat(), appel.contactId);
        if (model::Appel* a = etat.appel(appelId))
            *a = avecAnalyse;
        if (!m.appeler(QStringLiteral("chargerEtat"), {model::versObjetJson(etat)}).ok())
            return;
        if (appel.contactId) {
            if (const model::Contact* c = store_.etat().contact(*appel.contactId)) {
                auto e = m.appelerJSON(QStringLiteral("effetsAnalyse"),
                                       {model::versObjetJson(*analyse), model::versObjetJson(*c),
                                        model::versObjetJson(avecAnalyse),
                                        QJsonObject{{QStringLiteral("maintenant"), maintenant}}});
                if (e.ok() && e.valeur().isObject())
                    effets = e.valeur().toObject();
                else if (!e.ok())
                    erreur = texteErreurMoteur(e.erreur());
            }
        }
    });
    if (!courante(appelId, generation))
        return;
    if (erreur || !analyse) {
        echouer(appelId, erreur.value_or(messageEchec()));
        return;
    }

    store_.modifier([&](model::Etat& e) {
        model::Appel* a = e.appel(appelId);
        if (!a)
            return;
        model::Analyse finale = *analyse;
        if (a->contactId)
            appliquerEffetsAnalyse(e, *a, finale, effets, maintenant);
        a->analyse = finale;
        a->modeleAnalyse = modele.isEmpty() ? std::nullopt : std::optional(modele);
        a->statut = QStringLiteral("analyse");
        a->erreur.reset();
        a->majLe = maintenant;
    });
    store_.sauvegarder(true);
    courses_.remove(appelId);
    Suivi& s = suivis_[appelId];
    s.fini = true;
    s.erreur.reset();
    Q_EMIT suiviChange(appelId);
    Q_EMIT analyseTerminee(appelId, true);
}

void AnalysesEnCours::echouer(const QString& appelId, const QString& message, bool journaliser)
{
    courses_.remove(appelId);
    Suivi& s = suivis_[appelId];
    s.erreur = message;
    s.fini = false;
    Q_EMIT suiviChange(appelId);
    qCInfo(lcAnalyse) << "analyse en échec" << appelId;
    if (journaliser) {
        const model::Appel* a = store_.etat().appel(appelId);
        const std::optional<QString> moteur = a ? a->moteurTranscription : std::nullopt;
        if (a) {
            // The call keeps its transcript and any earlier analysis; only the message changes.
            store_.modifier([&](model::Etat& e) {
                if (model::Appel* x = e.appel(appelId)) {
                    x->erreur = message;
                    if (!x->analyse && x->statut != QLatin1String("en_cours"))
                        x->statut = QStringLiteral("erreur");
                }
            });
        }
        if (journal_) {
            QJsonObject details{{QStringLiteral("appel_id"), appelId}};
            details.insert(QStringLiteral("moteur"), moteur ? QJsonValue(*moteur) : QJsonValue());
            journal_(QJsonObject{{QStringLiteral("source"), QStringLiteral("app")},
                                 {QStringLiteral("type"), QStringLiteral("analyse_echec")},
                                 {QStringLiteral("message"), message},
                                 {QStringLiteral("details"), details}});
        }
    }
    Q_EMIT analyseTerminee(appelId, false);
}

} // namespace vd::ai
