#pragma once
// One result, many coroutines waiting for it: the in-flight refresh shared by
// every caller, the answer of the web sign-in awaited by its flow.
#include <coroutine>
#include <memory>
#include <optional>
#include <vector>

namespace vd::cloud {

template<typename T>
class Diffusion {
    struct Etat {
        std::optional<T> valeur;
        std::vector<std::coroutine_handle<>> attentes;
    };

public:
    struct Attente {
        std::shared_ptr<Etat> e;
        bool await_ready() const noexcept { return e->valeur.has_value(); }
        void await_suspend(std::coroutine_handle<> h) { e->attentes.push_back(h); }
        T await_resume() { return *e->valeur; }
    };

    Attente operator co_await() const { return {e_}; }
    bool resolue() const { return e_->valeur.has_value(); }
    // Wakes every waiter now, in the order they started waiting. Only the first call counts.
    void resoudre(T valeur)
    {
        if (e_->valeur)
            return;
        e_->valeur = std::move(valeur);
        auto attentes = std::move(e_->attentes);
        for (auto h : attentes)
            h.resume();
    }

private:
    std::shared_ptr<Etat> e_ = std::make_shared<Etat>();
};

} // namespace vd::cloud
