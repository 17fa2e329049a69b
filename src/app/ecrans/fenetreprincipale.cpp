#include "fenetreprincipale.h"

#include "model/store.h"

#include <QCloseEvent>
#include <QLabel>

namespace vd::app {

FenetrePrincipale::FenetrePrincipale(model::Store& store, QWidget* parent) : QMainWindow(parent), store_(store)
{
    setWindowTitle(QStringLiteral("Vendalo"));
    resize(1280, 820);
    auto* accueil = new QLabel(QStringLiteral("Bienvenue dans Vendalo"), this);
    accueil->setAlignment(Qt::AlignCenter);
    setCentralWidget(accueil);
}

void FenetrePrincipale::closeEvent(QCloseEvent* e)
{
    Q_EMIT fermee();
    e->accept();
}

} // namespace vd::app
