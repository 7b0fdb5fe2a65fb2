// The fake toolkit held to the contract the real toolkits meet, so that the
// unit tests built on it are refused what the program would be refused.
#include "common/toolkit_contract.h"

#include <optional>
#include <utility>

#include "fakes/fake_toolkit.h"

namespace tovi::contract {
namespace {

// The fake has no event loop: running the events fires each timer once (the
// fake decides whether it may).
class FakeDriver final : public MemoryControlsDriver {
public:
    FakeDriver() {
        toolkit_.whileOpen = [this](const fakes::FakeToolkit::Box&) {
            if (!closeAfter_) return;
            const auto open = *std::exchange(closeAfter_, std::nullopt);
            runFor(open);
        };
    }

    platform::Toolkit& toolkit() override { return toolkit_; }

    void runFor(std::chrono::milliseconds) override {
        fakes::FakeWindow* window = toolkit_.window;
        if (!window) return;
        for (std::size_t i = 0; i < window->timerCount(); ++i) window->timer(i).tick();
    }

    void closeNextBoxAfter(std::chrono::milliseconds time) override { closeAfter_ = time; }

private:
    fakes::FakeToolkit toolkit_;
    std::optional<std::chrono::milliseconds> closeAfter_;
};

std::unique_ptr<ToolkitDriver> makeFakeDriver() { return std::make_unique<FakeDriver>(); }

INSTANTIATE_TEST_SUITE_P(Fake, ToolkitContract, ::testing::Values(Backend{"fake", &makeFakeDriver}));

}  // namespace
}  // namespace tovi::contract
