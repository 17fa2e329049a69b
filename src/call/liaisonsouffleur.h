#pragma once
// Ties the live prompter to the call session: the prompter reads the running
// call, gets each kept final, and hands back its help requests, detections,
// qualification items and tone of address; the panel's tools act on the
// session; every stopped call goes to the post-call analysis.
#include "ai/analyses.h"
#include "ai/panneausouffleur.h"
#include "ai/souffleur.h"
#include "call/sessionappel.h"

#include <QObject>
#include <QPointer>

namespace vd::call {

class LiaisonSouffleur : public QObject, public ai::AppelEnDirect {
    Q_OBJECT
public:
    LiaisonSouffleur(SessionAppel& session, ai::Souffleur& souffleur, ai::PanneauSouffleur& panneau,
                     model::Store& store, ai::AnalysesEnCours* analyses = nullptr, QObject* parent = nullptr);

    bool enCours() const override;
    QString appelId() const override;
    QJsonObject configAppel() const override;
    const QList<model::Segment>& finals() const override;
    qint64 offsetMs() const override;
    bool demo() const override;

    // The qualification grid of a call: its framework's, else the default framework's.
    // None when that framework has no grid: the call context's applies.
    static QJsonValue grillePour(const model::Etat& etat, const QString& methode);
    static QList<QPair<QString, QString>> itemsDe(const QJsonValue& grille);
    static AideLive versSession(const ai::AideLive& a);

private:
    void suivreEtat();
    void synchroniserAides();
    void synchroniserDetections();

    SessionAppel& session_;
    ai::Souffleur& souffleur_;
    ai::PanneauSouffleur& panneau_;
    model::Store& store_;
    QPointer<ai::AnalysesEnCours> analyses_;
    QString appelSuivi_;
    qsizetype detectionsTransmises_ = 0;
    QJsonValue grille_;
};

} // namespace vd::call
