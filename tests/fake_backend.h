// A backend for tests: answers with scripted statuses and logs every call.
#ifndef DBRUNNER_TESTS_FAKE_BACKEND_H_
#define DBRUNNER_TESTS_FAKE_BACKEND_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/backend.h"

namespace dbrunner::testing {

struct FakeScript {
  std::int32_t connect = 0;
  std::int32_t set_schema = 0;
  std::int32_t execute = 0;
  std::int32_t commit = 0;
  // Every call as one line, e.g. "Connect(user,pw,target)"; shared so it
  // outlives the backend, which the session destroys.
  std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
};

class FakeBackend final : public Backend {
 public:
  explicit FakeBackend(FakeScript script) : script_(std::move(script)) {}
  ~FakeBackend() override { Log("Close"); }

  std::int32_t Connect(std::string_view user, std::string_view password,
                       std::string_view target) override {
    Log("Connect(" + std::string(user) + "," + std::string(password) + "," + std::string(target) +
        ")");
    return script_.connect;
  }
  std::int32_t SetSchema(std::string_view schema) override {
    Log("SetSchema(" + std::string(schema) + ")");
    return script_.set_schema;
  }
  std::int32_t Execute(std::string_view statement) override {
    Log("Execute(" + std::string(statement) + ")");
    return script_.execute;
  }
  std::int32_t Commit() override {
    Log("Commit");
    return script_.commit;
  }
  std::string LastError() const override { return {}; }

 private:
  void Log(std::string line) { script_.log->push_back(std::move(line)); }
  FakeScript script_;
};

// A factory that hands out FakeBackends for every DbName starting with
// "fake:", with the rest as the target, and nothing for other names.
inline BackendFactory FakeFactory(const FakeScript& script) {
  return [script](std::string_view db_name) {
    BackendChoice choice;
    constexpr std::string_view kPrefix = "fake:";
    if (db_name.substr(0, kPrefix.size()) == kPrefix) {
      choice.backend = std::make_unique<FakeBackend>(script);
      choice.target = std::string(db_name.substr(kPrefix.size()));
    }
    return choice;
  };
}

}  // namespace dbrunner::testing

#endif  // DBRUNNER_TESTS_FAKE_BACKEND_H_
