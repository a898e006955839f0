// What the service knows and reports: the service state that every answer
// carries, the generations, the pending update, the client's heartbeats, and
// what tests asked for through the control endpoint. Used on the server's one
// I/O thread only, so it holds no lock.
#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "resources.h"

namespace kesta::service {

// The version this service is and the client expects.
inline constexpr const char* kCurrentVersion = "0.6.12";

// A status and a JSON body to answer with.
struct Reply {
  int status = 200;
  nlohmann::json body;
};

// A test-ordered misbehaviour for requests whose path starts with `path`.
struct Fault {
  std::string path;
  int delayMs = 0;
  int status = 0;     // 0: answer normally after the delay
  std::string body;   // body of the faulty answer
  bool drop = false;  // close the connection without answering
  int times = -1;     // how many requests it hits; -1 for all
};

class ServiceState {
 public:
  struct Setup {
    std::string localOrigin;  // "http://127.0.0.1:" + port
    std::string siteOrigin;   // empty: the local origin
    std::string bundleRoot;   // reported to the client as it stands
    std::filesystem::path dataDir;
    std::string serviceVersion;
    bool networkEnforced = false;
    int64_t processId = 0;  // shown in the journal
  };

  ServiceState(Setup setup, ResourceStore& store);

  // The documents of the client's endpoints. Each state it hands out is one
  // the client has seen: its generations and pending revision count as
  // reported from then on.
  nlohmann::json State() const;
  nlohmann::json Info() const;
  Reply Host(const std::string& body);
  nlohmann::json Launch();
  Reply Accept(const std::string& body);
  Reply Defer(const std::string& body);
  Reply ServiceUpgrade();
  // A document as it goes out: in the sparse mode without the members a
  // client reads as missing anyway, and with every number but the proxy's
  // port written with a fraction.
  nlohmann::json Shape(nlohmann::json document) const;

  // What the client may name in its requests.
  bool Reported(const std::string& generation) const { return reported_.count(generation) != 0; }
  bool PendingReported(int64_t revision) const { return reportedPending_.count(revision) != 0; }
  // The heartbeat's values: command ids the service gave out, activations
  // it sent (also before a restart: the client keeps what it saw).
  int64_t HighestCommandId() const { return nextCommandId_ - 1; }
  bool ActivationSent(double activation) const { return activations_.count(activation) != 0; }
  // The manifest of a pool as the generation bound it when the service
  // first reported it: the client builds a generation's bindings once.
  std::shared_ptr<const nlohmann::json> BoundManifest(const std::string& generation, const std::string& pool) const;
  // Pages load from `origin` straight from the service: it is the site
  // origin, or a launch answer offered it, so a game window may run on it.
  bool PageOrigin(const std::string& origin) const {
    return origin == siteOrigin_ || admissionOrigins_.count(origin) != 0;
  }
  const std::set<std::string>& admissionOrigins() const { return admissionOrigins_; }
  // The last info document asked for an upgrade: an updated client of this
  // version is named while the service reports another version.
  bool UpgradeDue() const { return upgradeDue_; }
  // Milliseconds between the end of this process and the start of its
  // successor's service in an upgrade.
  int upgradeGapMs() const { return upgradeGapMs_; }
  const std::string& siteOrigin() const { return siteOrigin_; }
  const std::string& localOrigin() const { return setup_.localOrigin; }

  // The pool versions a request is served from: its generation header, or
  // the current generation when the header is empty. Nothing for an unknown
  // generation.
  std::optional<PoolVersions> ServedGeneration(const std::string& header) const;
  const PoolVersions& bundled() const { return generations_.at("bundled"); }
  const std::string& generation() const { return current_; }

  // The loopback proxy, started by the server when enforcement is wanted.
  bool WantsProxy(const nlohmann::json& patch) const;
  void SetProxyPort(int port) { proxyPort_ = port; }
  bool networkEnforced() const { return networkEnforced_; }

  // Control: merges a patch into the state (see the keys in the source).
  Reply Control(const nlohmann::json& patch);
  nlohmann::json Journal() const;
  std::optional<Fault> TakeFault(const std::string& path);
  void RecordRequest(nlohmann::json entry);
  // A request that breaks the protocol: into the journal and the log.
  void RecordViolation(const std::string& what, const std::string& method, const std::string& target);

 private:
  // Notes what a state handed to the client names.
  const nlohmann::json& Shown(const nlohmann::json& state) const;
  void Bind(const std::string& generation) const;
  void Save() const;
  void Load();
  std::optional<int64_t> RequestRevision(const std::string& body, Reply& error) const;

  Setup setup_;
  ResourceStore& store_;

  std::string serviceVersion_;
  int upgradeGapMs_ = 500;
  bool sparse_ = false;
  mutable bool upgradeDue_ = false;
  mutable std::set<std::string> reported_;
  mutable std::set<int64_t> reportedPending_;
  mutable std::set<double> activations_;
  mutable std::map<std::string, std::map<std::string, std::shared_ptr<const nlohmann::json>>> bound_;
  std::set<std::string> admissionOrigins_;

  std::string siteOrigin_;
  std::string clientPath_;
  std::string client_;
  nlohmann::json migrationSources_ = nlohmann::json::array();
  std::string accessRootSPKI_;
  bool networkEnforced_ = false;
  double networkRevision_ = 1;
  int proxyPort_ = 0;
  double activation_ = 1;
  std::string current_ = "bundled";
  std::map<std::string, PoolVersions> generations_;
  bool updateGate_ = false;
  bool launchReady_ = true;
  nlohmann::json pending_;  // null when none; may hold "versions" and "clientPath" of our own
  nlohmann::json refresh_;  // null when none
  std::string error_;

  std::map<int64_t, nlohmann::json> commands_;  // id -> command
  int64_t nextCommandId_ = 1;
  std::deque<Fault> faults_;

  // What the client did, for tests.
  int heartbeats_ = 0;
  nlohmann::json lastHeartbeat_;
  int launches_ = 0;
  nlohmann::json accepts_ = nlohmann::json::array();
  nlohmann::json defers_ = nlohmann::json::array();
  int upgrades_ = 0;
  std::deque<nlohmann::json> requests_;
  std::deque<nlohmann::json> violations_;
};

}  // namespace kesta::service
