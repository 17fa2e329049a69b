#pragma once
// The engine's built-in self-check ("Vendalo · auto-test du moteur"): loads the
// script and checks the behaviours the rest of the program relies on.
#include <QString>
#include <functional>

namespace vd::ai {

class Moteur;

struct ResultatAutotest {
    int reussies = 0;
    int total = 0;
    bool ok() const { return total > 0 && reussies == total; }
};

// Runs every check on the given engine; each line (check and outcome) goes to
// ecrire. The script's loaded data is replaced during the run.
ResultatAutotest autotestMoteur(Moteur& moteur, const std::function<void(const QString&)>& ecrire);

} // namespace vd::ai
