// The progress page on a large store (2,000 analysed calls x 300 segments,
// spread over 120 days, six competences and a few objections and moments
// each): the exercise of the week, the 30-day trend, the week's follow-up and
// the moments, separately and as the page computes them all at once. Prints
// the median and worst of 20 runs of each.
#include "model/texte.h"
#include "team/progres.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace vd;

namespace {

QList<model::Appel> appelsSynthetiques(const QDateTime& reference)
{
    static const char* dims[] = {"decouverte", "engagement", "valeur", "ecoute", "objections", "closing"};
    QList<model::Appel> l;
    l.reserve(2000);
    for (int a = 0; a < 2000; ++a) {
        model::Appel x;
        x.id = QStringLiteral("a%1").arg(a);
        x.contactId = QStringLiteral("c%1").arg(a % 500);
        x.statut = QStringLiteral("analyse");
        // Not in date order: the list is sorted by the computation.
        x.debut = x.creeLe = x.majLe = model::horodatage(reference.addSecs(-qint64((a * 7919) % 2000) * 5184));
        x.transcript.reserve(300);
        for (int s = 0; s < 300; ++s)
            x.transcript.append(model::Segment{QStringLiteral("sg%1").arg(s), s % 2 ? QStringLiteral("prospect") : QStringLiteral("vous"),
                                               QStringLiteral("Et concrètement, comment gérez-vous le suivi de vos prospects ?"), s * 6000,
                                               s * 6000 + 5200, std::nullopt});
        x.metriques = model::Metriques{1800, 48, 52, 6 + a % 5, 40 + a % 70, 150, 2, 300};
        model::Analyse an;
        an.score = 50 + a % 40;
        for (int d = 0; d < 6; ++d)
            an.dimensions.insert(QString::fromLatin1(dims[d]), model::ScoreDimension{40 + (a * (d + 3)) % 55, {}, {}, {}});
        for (int o = 0; o < 3; ++o)
            an.objections.append(model::ObjectionAnalyse{QStringLiteral("C'est trop cher."), QStringLiteral("prix"), qint64(o * 400000),
                                                         o % 2 ? QStringLiteral("partiel") : QStringLiteral("oui"), QStringLiteral("Par rapport à quoi ?"),
                                                         QStringLiteral("Comparez au coût du problème."), std::nullopt, {}});
        an.moments.append(model::Moment{900000, QStringLiteral("negatif"), QStringLiteral("Long monologue sur le prix."), {}});
        an.moments.append(model::Moment{1500000, QStringLiteral("positif"), QStringLiteral("Le prospect propose une date."), {}});
        x.analyse = an;
        l.append(x);
    }
    return l;
}

void mesurer(const char* quoi, const std::function<void()>& f)
{
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const QString libelle = QString::fromUtf8(quoi).leftJustified(42);
    std::printf("%s médiane %7.2f ms   pire %7.2f ms\n", qUtf8Printable(libelle), ms[ms.size() / 2], ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QDateTime reference = QDateTime(QDate(2027, 1, 6), QTime(12, 0), Qt::UTC);
    const QList<model::Appel> appels = appelsSynthetiques(reference);
    const team::CalendrierSemaines cal = team::CalendrierSemaines::partage();
    const QList<team::Dimension>& dims = team::dimensionsParDefaut();
    std::printf("2 000 appels analysés × 300 segments, sur 120 jours\n");

    const QList<team::AppelDate> lus = team::appelsAnalyses(appels, cal.fuseau);
    mesurer("dates lues et triées", [&] { (void)team::appelsAnalyses(appels, cal.fuseau); });
    mesurer("choix de l'exercice de la semaine", [&] { (void)team::choisirExercice(lus, reference, dims, cal); });
    mesurer("tendance sur 30 jours (6 compétences)", [&] { (void)team::evoluer(lus, reference, dims); });
    mesurer("suivi de la semaine", [&] { (void)team::suivreSemaine({team::CritereExercice::Genre::questionsMin, 8, {}}, lus, reference, cal); });
    mesurer("moments à réécouter", [&] { (void)team::momentsARecouter(lus, reference); });
    mesurer("page entière (calculerProgres)", [&] { (void)team::calculerProgres(appels, reference, dims, cal); });
    const team::BilanProgres b = team::calculerProgres(appels, reference, dims, cal);
    std::printf("exercice : %s · %d appels sur 30 jours · %d lignes cette semaine\n", qPrintable(b.choix.exercice ? b.choix.exercice->id : QStringLiteral("aucun")),
                b.evolutions.appels30Jours, int(b.suivi.lignes.size()));
    return 0;
}
