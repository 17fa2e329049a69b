#pragma once
// Fake capture and transcription engine for the call session tests, plus a
// fixture that wires a session to them, an in-memory store and a fake clock.
#include "ai/moteur.h"
#include "call/sessionappel.h"
#include "model/store.h"
#include "platform/horloge.h"

#include <QFile>
#include <QJsonObject>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vd::test {

struct EtatCapture {
    std::optional<call::ErreurCaptureAudio> echec;
    int canauxDonnes = 2;   // what the capture really opens
    int demarrages = 0;
    int arrets = 0;
    int canauxDemandes = 0;
    std::pair<float, float> niveaux{0.f, 0.f};
    call::CaptureAudioBase::Rappel rappel;
    call::CaptureAudioBase::Mixage mixage;
    call::CaptureAudioBase::SurFin surFin;
};

class FausseCapture final : public call::CaptureAudioBase {
public:
    explicit FausseCapture(std::shared_ptr<EtatCapture> e) : e_(std::move(e)) {}
    ResultatVide<call::ErreurCaptureAudio> demarrer(int canaux) override
    {
        ++e_->demarrages;
        e_->canauxDemandes = canaux;
        if (e_->echec)
            return echec(*e_->echec);
        return Rien{};
    }
    void arreter() override { ++e_->arrets; }
    void setRappel(Rappel r) override { e_->rappel = std::move(r); }
    void setMixage(Mixage m) override { e_->mixage = std::move(m); }
    void setSurFin(SurFin f) override { e_->surFin = std::move(f); }
    std::pair<float, float> niveaux() const override { return e_->niveaux; }
    int canaux() const override { return e_->canauxDonnes; }

private:
    std::shared_ptr<EtatCapture> e_;
};

class FausseTranscription final : public call::MoteurTranscriptionBase {
public:
    call::ParametresTranscription parametres;
    int demarrages = 0, coupures = 0, terminaisons = 0;
    std::atomic<int> blocs{0};
    QString nom = QStringLiteral("Soniox");
    // Run when terminer() is called (e.g. deliver the last words, then termine()).
    std::function<void(FausseTranscription&)> surTerminer;

    void demarrer(const call::ParametresTranscription& p) override
    {
        parametres = p;
        ++demarrages;
    }
    void envoyer(const QByteArray&) override { ++blocs; }
    void couper() override { ++coupures; }
    void terminer() override
    {
        ++terminaisons;
        if (surTerminer)
            surTerminer(*this);
    }
    QString nomAffiche() const override { return nom; }

    void ouvrir() { Q_EMIT ouvert(parametres.generation); }
    void echouer(const QString& m) { Q_EMIT echecDemarrage(m, parametres.generation); }
    void statut(const QString& code) { Q_EMIT etat(code, parametres.generation); }
    void finir() { Q_EMIT termine(parametres.generation); }
    void dire(const QString& qui, const QString& texte, qint64 debut, qint64 fin, bool final = true)
    {
        Q_EMIT segment(call::SegmentLive{qui, texte, final, debut, fin, std::nullopt}, parametres.generation);
    }
};

struct Journalise {
    QString nom, message;
    QJsonObject proprietes;
};

// A session on fakes. The engine points at the shipped script.
struct BancSession {
    platform::HorlogeFactice horloge;
    model::Store store{QString(), horloge};
    ai::Moteur moteur{QStringLiteral(VD_RESOURCES_DIR "/moteur.js")};
    std::shared_ptr<EtatCapture> capture = std::make_shared<EtatCapture>();
    std::vector<FausseTranscription*> transcriptions;   // every client created, in order (owned by the session)
    std::vector<Journalise> journal;
    QStringList analyses;
    std::unique_ptr<call::SessionAppel> session;

    BancSession()
    {
        session = std::make_unique<call::SessionAppel>(store, moteur, horloge, fabriques());
        session->setJournal([this](const QString& n, const QString& m, const QJsonObject& p) { journal.push_back({n, m, p}); });
        session->setRappelAnalyse([this](const QString& id) { analyses << id; });
    }

    // The fake capture and transcription (no recording), for a test to complete.
    call::SessionAppel::Fabriques fabriques()
    {
        call::SessionAppel::Fabriques f;
        f.capture = [this] { return std::make_unique<FausseCapture>(capture); };
        f.transcription = [this](const QString&) {
            auto t = std::make_unique<FausseTranscription>();
            transcriptions.push_back(t.get());
            return std::unique_ptr<call::MoteurTranscriptionBase>(std::move(t));
        };
        return f;
    }
    FausseTranscription& transcription() { return *transcriptions.back(); }

    static call::ConfigAppel config()
    {
        call::ConfigAppel c;
        c.contactId = QStringLiteral("c1");
        c.type = QStringLiteral("demo");
        c.objectif = QStringLiteral("Montrer le produit");
        c.source = QStringLiteral("micro+mac");
        return c;
    }

    // Starts a live call and opens the transcription.
    void demarrerOuvert()
    {
        const auto refus = session->demarrer(config());
        Q_ASSERT(!refus);
        transcription().ouvrir();
    }

    const model::Appel* appel() const
    {
        return session->appelId() ? store.etat().appel(*session->appelId()) : nullptr;
    }

    bool scriptLivre() const { return QFile::exists(QStringLiteral(VD_RESOURCES_DIR "/moteur.js")); }
};

} // namespace vd::test
