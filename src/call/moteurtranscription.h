#pragma once
// The two streaming transcription engines. `Soniox` opens one stream per
// voice (or one mixed stream), `Deepgram` one multichannel socket. Each
// stream works on its own thread; everything the engine publishes arrives
// on the thread the engine lives on, with the call's generation.
#include "accestranscription.h"
#include "flux.h"
#include "interfaces.h"

#include <QMutex>
#include <QStringList>
#include <memory>

class QThread;

namespace vd::ai {
struct ContexteRoutes;
}

namespace vd::call {

struct ContexteTranscription {
    using RappelSource = std::function<void(ai::SourceIA)>;
    ai::SourceIA source = ai::SourceIA::cle;   // chosen by the route rule
    // When set, asked at each start instead of `source` (the route rule may
    // need to ask the relay); answers on the engine's thread, dropped if contexte is gone.
    std::function<void(QObject* contexte, RappelSource rappel)> choisirSource;
    QString relais;                            // relay setting (Deepgram)
    AppelFonction appelerFonction;             // backend function call; empty when signed out
    bool filDedie = true;                      // false: streams share the engine's thread (fake-clock tests)
    std::shared_ptr<FournisseurAcces> fournisseurCle;   // overrides every other source
};

class MoteurTranscription : public MoteurTranscriptionBase {
    Q_OBJECT
public:
    explicit MoteurTranscription(ContexteTranscription contexte, QObject* parent = nullptr);
    ~MoteurTranscription() override;

    // Passed to every stream, present and future.
    void setCompteurAudio(std::shared_ptr<CompteurAudio> c);
    void demarrer(const ParametresTranscription& p) override;
    void envoyer(const QByteArray& bloc) override;
    void couper() override;
    void terminer() override;

    // Observed by tests and the support command.
    int nombreFlux() const;
    FluxTranscription* flux(int i) const;   // touch only in same-thread mode
    QStringList etats() const { return etats_; }
    virtual IdMoteur id() const = 0;

protected:
    virtual QList<FluxTranscription*> creerFlux(const ParametresTranscription& p) = 0;
    // Hands one block to the streams (any thread, under the engine's lock).
    virtual void repartir(const QByteArray& bloc, const QList<QPointer<FluxTranscription>>& flux) = 0;
    static void confier(FluxTranscription* f, QByteArray bloc);

private:
    std::unique_ptr<FournisseurAcces> creerFournisseur(const ParametresTranscription& p, ai::SourceIA source);
    void ouvrirFlux(const ParametresTranscription& p, ai::SourceIA source);
    void arreterFlux();
    void surEtat(int index, const QString& code);
    void surOuverture(bool ok, const QString& message);
    void surBesoinAcces(int index, int numero);
    void echouerPlusTard(const QString& message);

    ContexteTranscription contexte_;
    std::shared_ptr<CompteurAudio> compteur_;
    std::unique_ptr<FournisseurAcces> fournisseur_;
    mutable QMutex verrou_;
    QList<QPointer<FluxTranscription>> flux_;
    QList<QThread*> fils_;
    QStringList etats_;
    quint64 generation_ = 0;
    int serie_ = 0;
    int ouverts_ = 0;
    int finis_ = 0;
    bool demarre_ = false;
    bool coupe_ = false;
    bool echoue_ = false;
    bool arrete_ = false;     // couper() or terminer() was asked
    bool muet_ = false;       // couper(): nothing more is published
    bool enFin_ = false;
};

class Soniox final : public MoteurTranscription {
    Q_OBJECT
public:
    using MoteurTranscription::MoteurTranscription;
    QString nomAffiche() const override { return QStringLiteral("Soniox"); }
    IdMoteur id() const override { return IdMoteur::soniox; }

protected:
    QList<FluxTranscription*> creerFlux(const ParametresTranscription& p) override;
    void repartir(const QByteArray& bloc, const QList<QPointer<FluxTranscription>>& flux) override;
};

class Deepgram final : public MoteurTranscription {
    Q_OBJECT
public:
    using MoteurTranscription::MoteurTranscription;
    QString nomAffiche() const override { return QStringLiteral("Deepgram"); }
    IdMoteur id() const override { return IdMoteur::deepgram; }

protected:
    QList<FluxTranscription*> creerFlux(const ParametresTranscription& p) override;
    void repartir(const QByteArray& bloc, const QList<QPointer<FluxTranscription>>& flux) override;
};

// Splits interleaved stereo into the two mono channels (first two bytes of
// each 4-byte frame, last two bytes). A trailing partial frame is dropped.
std::pair<QByteArray, QByteArray> separerStereo(const QByteArray& bloc);

std::unique_ptr<MoteurTranscription> creerMoteurTranscription(IdMoteur moteur, ContexteTranscription contexte,
                                                              QObject* parent = nullptr);

// The engine of a live call: the one named ("deepgram", else Soniox), whose
// credential comes, at each start, from the route the rules allow (account,
// own key, relay for Deepgram). filDedie false keeps the streams on the
// caller's thread (tests on the fake clock).
std::unique_ptr<MoteurTranscription> creerMoteurAppel(const QString& moteur, const ai::ContexteRoutes& routes,
                                                      bool filDedie = true);

} // namespace vd::call
