// Placeholder until the backend is built: every connect reports that the
// client is not available.
#include "db/backend.h"

namespace dbrunner {
namespace {

class UnavailableOracleBackend final : public Backend {
 public:
  std::int32_t Connect(std::string_view, std::string_view, std::string_view) override {
    return kStatusClientUnavailable;
  }
  std::int32_t SetSchema(std::string_view) override { return kStatusClientUnavailable; }
  std::int32_t Execute(std::string_view) override { return kStatusClientUnavailable; }
  std::int32_t Commit() override { return kStatusClientUnavailable; }
  std::string LastError() const override { return "this backend is not built yet"; }
};

}  // namespace

std::unique_ptr<Backend> NewOracleBackend() { return std::make_unique<UnavailableOracleBackend>(); }

}  // namespace dbrunner
