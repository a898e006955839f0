#include "service_state.h"

#include <cmath>

#include "log.h"

namespace kesta::service {

using nlohmann::json;

namespace {

constexpr size_t kRequestJournal = 200;
constexpr size_t kViolationJournal = 200;
constexpr const char* kSavedState = "service-state.json";

PoolVersions VersionsFrom(const json& object) {
  PoolVersions versions;
  for (const char* pool : kPools) {
    if (object.contains(pool) && object[pool].is_string())
      versions[pool] = object[pool];
  }
  return versions;
}

json VersionsJson(const PoolVersions& versions) {
  json object = json::object();
  for (const auto& [pool, version] : versions) {
    if (!version.empty())
      object[pool] = version;
  }
  return object;
}

// Whole numbers are written without a fraction, as the client writes its own.
json Number(double value) {
  if (std::trunc(value) == value && std::fabs(value) < 9e15)
    return static_cast<int64_t>(value);
  return value;
}

// A member of the expected type, or the fallback: what tests and clients
// send must never throw.
std::string StringOr(const json& object, const char* key, const std::string& fallback = "") {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

// A fault is an object of known members, each of its type; numbers in range.
bool ValidFault(const json& fault) {
  if (!fault.is_object())
    return false;
  for (const auto& [key, value] : fault.items()) {
    if (key == "path" || key == "body") {
      if (!value.is_string())
        return false;
    } else if (key == "drop") {
      if (!value.is_boolean())
        return false;
    } else if (key == "delayMs" || key == "status" || key == "times") {
      if (!value.is_number_integer() || value.get<int64_t>() < (key == "times" ? -1 : 0))
        return false;
      if (value.get<int64_t>() > (key == "status" ? 999 : 600000))
        return false;
      if (key == "status" && value.get<int64_t>() != 0 && value.get<int64_t>() < 100)
        return false;
    } else {
      return false;
    }
  }
  return true;
}

Reply Error(int status, const std::string& text) {
  return {status, json{{"error", text}}};
}

}  // namespace

ServiceState::ServiceState(Setup setup, ResourceStore& store) : setup_(std::move(setup)), store_(store) {
  serviceVersion_ = setup_.serviceVersion;
  siteOrigin_ = setup_.siteOrigin.empty() ? setup_.localOrigin : setup_.siteOrigin;
  networkEnforced_ = setup_.networkEnforced;
  generations_["bundled"] = store_.BundledVersions();
  Load();
  // A predecessor reported what it saved.
  for (const auto& [name, versions] : generations_) {
    reported_.insert(name);
    if (name == "bundled" || store_.Complete(versions, bundled()))
      Bind(name);
  }
}

void ServiceState::Bind(const std::string& generation) const {
  if (bound_.count(generation))
    return;
  auto& manifests = bound_[generation];
  for (const char* pool : kPools)
    manifests[pool] = store_.Manifest(pool, generations_.at(generation), bundled());
}

std::shared_ptr<const json> ServiceState::BoundManifest(const std::string& generation, const std::string& pool) const {
  const auto it = bound_.find(generation);
  if (it == bound_.end())
    return nullptr;
  const auto manifest = it->second.find(pool);
  return manifest == it->second.end() ? nullptr : manifest->second;
}

json ServiceState::State() const {
  // The client gives up on a generation whose manifests it cannot read, so
  // only generations present on disk are listed.
  json generations = json::object();
  for (const auto& [name, versions] : generations_) {
    if (name == "bundled" || store_.Complete(versions, bundled()))
      generations[name] = VersionsJson(versions);
  }
  json state = {
      {"siteOrigin", siteOrigin_},
      {"clientPath", clientPath_},
      {"client", client_},
      {"migrationSources", migrationSources_},
      {"accessRootSPKI", accessRootSPKI_},
      {"networkEnforced", networkEnforced_},
      {"networkRevision", Number(networkRevision_)},
      {"activation", Number(activation_)},
      {"generation", current_},
      {"updateGate", updateGate_},
      {"generations", generations},
      {"bundleRoot", setup_.bundleRoot},
      {"error", error_},
  };
  if (networkEnforced_) {
    const std::string port = std::to_string(proxyPort_);
    state["browserProxy"] = {
        {"mode", "fixed_servers"}, {"server", "http://127.0.0.1:" + port}, {"bypass_list", "<-loopback>"}};
    state["browserProxyAuth"] = {{"host", "127.0.0.1"}, {"port", proxyPort_}, {"username", "kesta"}};
  } else {
    state["browserProxy"] = {{"mode", "direct"}};
  }
  if (pending_.is_object()) {
    json pending = pending_;
    pending.erase("versions");  // ours: what an accept installs
    pending.erase("clientPath");
    state["pending"] = pending;
  }
  if (refresh_.is_object())
    state["refresh"] = refresh_;
  return state;
}

const json& ServiceState::Shown(const json& state) const {
  for (const auto& [name, versions] : state["generations"].items()) {
    reported_.insert(name);
    Bind(name);
  }
  if (state["activation"].is_number() && activations_.insert(state["activation"].get<double>()).second)
    Save();
  // The client sends a pending revision back cut to an integer, a missing
  // one as 0.
  if (state.contains("pending")) {
    const json& revision = state["pending"].value("revision", json(0));
    if (revision.is_number() && std::fabs(revision.get<double>()) < 9e15)
      reportedPending_.insert(static_cast<int64_t>(std::trunc(revision.get<double>())));
  }
  return state;
}

json ServiceState::Info() const {
  upgradeDue_ = !clientPath_.empty() && client_ == kCurrentVersion && serviceVersion_ != kCurrentVersion;
  return {{"serviceVersion", serviceVersion_}, {"state", Shown(State())}};
}

namespace {

bool Empty(const json& value) {
  return (value.is_string() && value.get<std::string>().empty()) || (value.is_boolean() && !value.get<bool>()) ||
         (value.is_number() && value.get<double>() == 0) || (value.is_array() && value.empty());
}

// Drops empty members, recursively; numbers become doubles except where the
// client reads an integer.
json Sparse(const json& value, const std::string& key) {
  if (value.is_object()) {
    json out = json::object();
    for (const auto& [name, member] : value.items()) {
      if (!Empty(member))
        out[name] = Sparse(member, name);
    }
    return out;
  }
  if (value.is_array()) {
    json out = json::array();
    for (const json& item : value)
      out.push_back(Sparse(item, ""));
    return out;
  }
  if (value.is_number() && key != "port")
    return value.get<double>();
  return value;
}

}  // namespace

json ServiceState::Shape(json document) const {
  return sparse_ ? Sparse(document, "") : document;
}

Reply ServiceState::Host(const std::string& body) {
  json heartbeat = json::parse(body, nullptr, false);
  if (!heartbeat.is_object())
    return Error(400, "heartbeat is not a JSON object");
  ++heartbeats_;
  double after = 0;
  if (heartbeat.contains("after") && heartbeat["after"].is_number())
    after = heartbeat["after"];
  lastHeartbeat_ = std::move(heartbeat);
  // Commands stay in every reply until a heartbeat reports their id as seen;
  // then they are gone, or a restarted client, counting from 0 again, would
  // carry them all out once more.
  for (auto it = commands_.begin(); it != commands_.end() && static_cast<double>(it->first) <= after;)
    it = commands_.erase(it);
  json commands = json::array();
  for (const auto& [id, command] : commands_)
    commands.push_back(command);
  return {200, json{{"state", Shown(State())}, {"commands", commands}}};
}

json ServiceState::Launch() {
  ++launches_;
  const auto current = generations_.find(current_);
  const bool complete = current != generations_.end() && store_.Complete(current->second, bundled());
  const bool ready = launchReady_ && !updateGate_ && complete;
  if (ready)
    admissionOrigins_.insert(siteOrigin_);
  return {{"ready", ready}, {"state", Shown(State())}};
}

std::optional<int64_t> ServiceState::RequestRevision(const std::string& body, Reply& error) const {
  const json request = json::parse(body, nullptr, false);
  if (!request.is_object() || !request.contains("revision") || !request["revision"].is_number_integer()) {
    error = Error(400, "expected {\"revision\":<integer>}");
    return std::nullopt;
  }
  if (!pending_.is_object()) {
    error = Error(409, "no pending update");
    return std::nullopt;
  }
  const int64_t revision = request["revision"];
  double pendingRevision = 0;
  if (pending_.contains("revision") && pending_["revision"].is_number())
    pendingRevision = pending_["revision"];
  // The client sends the pending revision cut to an integer.
  if (std::fabs(pendingRevision) >= 9e18 || static_cast<int64_t>(std::trunc(pendingRevision)) != revision) {
    error = Error(409, "revision " + std::to_string(revision) + " is not the pending update");
    return std::nullopt;
  }
  return revision;
}

Reply ServiceState::Accept(const std::string& body) {
  Reply error;
  const auto revision = RequestRevision(body, error);
  accepts_.push_back(json::parse(body, nullptr, false));
  if (!revision)
    return error;

  // A resource update always brings a new generation, even one with the same
  // pool versions, so that a client restarted after the accept enters anew.
  // Its packages were put in place when the update became pending.
  const std::string client = StringOr(pending_, "client");
  const bool versions = pending_.contains("versions") && pending_["versions"].is_object();
  if (versions || client.empty()) {
    PoolVersions next = generations_[current_];
    if (versions) {
      for (const auto& [pool, version] : VersionsFrom(pending_["versions"]))
        next[pool] = version;
    }
    if (!store_.Complete(next, bundled()))
      return Error(500, "the update's packages are missing");
    std::string name = "r" + std::to_string(*revision);
    for (int suffix = 2; generations_.count(name); ++suffix)
      name = "r" + std::to_string(*revision) + "-" + std::to_string(suffix);
    generations_[name] = next;
    current_ = name;
  }
  if (!client.empty()) {
    client_ = client;
    clientPath_ = StringOr(pending_, "clientPath", clientPath_);
  }
  pending_ = nullptr;
  refresh_ = nullptr;
  activation_ += 1;
  Save();
  Log("update " + std::to_string(*revision) + " accepted; generation " + current_);
  return {200, json{{"ok", true}, {"generation", current_}}};
}

Reply ServiceState::Defer(const std::string& body) {
  Reply error;
  const auto revision = RequestRevision(body, error);
  defers_.push_back(json::parse(body, nullptr, false));
  if (!revision)
    return error;
  if (updateGate_)
    return Error(409, "the update gate is closed");
  pending_["deferred"] = true;
  Log("update " + std::to_string(*revision) + " deferred");
  return {200, json{{"ok", true}}};
}

Reply ServiceState::ServiceUpgrade() {
  ++upgrades_;
  Log("service upgrade requested: handing over to " + std::string(kCurrentVersion));
  return {200, json{{"ok", true}}};
}

std::optional<PoolVersions> ServiceState::ServedGeneration(const std::string& header) const {
  const auto it = generations_.find(header.empty() ? current_ : header);
  if (it == generations_.end())
    return std::nullopt;
  return it->second;
}

bool ServiceState::WantsProxy(const json& patch) const {
  return patch.is_object() && patch.contains("networkEnforced") && patch["networkEnforced"].is_boolean() &&
         patch["networkEnforced"].get<bool>();
}

// Control keys, each optional:
//   siteOrigin, clientPath, client, serviceVersion, accessRootSPKI, error,
//   generation (an existing one): strings
//   updateGate, launchReady, networkEnforced, sparseState: booleans
//   activation, upgradeDelayMs: numbers
//   migrationSources: array of strings
//   pending, refresh: object, or null to remove; "pending" may also hold
//     "versions" (pool -> version an accept installs as a new generation)
//     and "clientPath" (where an accepted client update lives)
//   generations: name -> pool versions, added or replaced ("bundled" stays)
//   commands: objects queued for the client, each given the next id
//   faults: replaces the list of faults
// A patch that changes the state raises "activation" by one, unless it sets
// "activation" itself. Nothing is changed when any key is refused.
Reply ServiceState::Control(const json& patch) {
  if (!patch.is_object())
    return Error(400, "control body is not a JSON object");
  auto expect = [&](const char* key, bool ok) -> std::optional<Reply> {
    if (ok)
      return std::nullopt;
    return Error(400, std::string("bad value for ") + key);
  };
  for (const auto& [key, value] : patch.items()) {
    std::optional<Reply> bad;
    if (key == "siteOrigin" || key == "clientPath" || key == "client" || key == "serviceVersion" ||
        key == "accessRootSPKI" || key == "error") {
      bad = expect(key.c_str(), value.is_string());
    } else if (key == "generation") {
      bad = expect("generation", value.is_string() && generations_.count(value.get<std::string>()));
    } else if (key == "updateGate" || key == "launchReady" || key == "networkEnforced" || key == "sparseState") {
      bad = expect(key.c_str(), value.is_boolean());
      if (!bad && key == "networkEnforced" && value.get<bool>() && proxyPort_ == 0)
        bad = Error(500, "the loopback proxy is not running");
    } else if (key == "activation") {
      bad = expect("activation", value.is_number());
    } else if (key == "upgradeDelayMs") {
      bad = expect("upgradeDelayMs",
                   value.is_number_integer() && value.get<int64_t>() >= 0 && value.get<int64_t>() <= 600000);
    } else if (key == "migrationSources") {
      bool ok = value.is_array();
      for (const auto& item : value)
        ok = ok && item.is_string();
      bad = expect("migrationSources", ok);
    } else if (key == "pending" || key == "refresh") {
      bad = expect(key.c_str(), value.is_object() || value.is_null());
    } else if (key == "generations") {
      bool ok = value.is_object() && !value.contains("bundled");
      if (ok)
        for (const auto& [name, pools] : value.items())
          ok = ok && !name.empty() && pools.is_object();
      bad = expect("generations", ok);
    } else if (key == "commands") {
      bool ok = value.is_array();
      for (const auto& item : value)
        ok = ok && item.is_object();
      bad = expect("commands", ok);
    } else if (key == "faults") {
      bool ok = value.is_array();
      for (const auto& item : value)
        ok = ok && ValidFault(item);
      bad = expect("faults", ok);
    } else {
      bad = Error(400, "unknown control key: " + key);
    }
    if (bad)
      return *bad;
  }

  // A pending update is downloaded already: its packages go in place now, as
  // a download would have put them (copies of the bundled pools here).
  if (patch.contains("pending") && patch["pending"].is_object() && patch["pending"].contains("versions")) {
    const json& versions = patch["pending"]["versions"];
    if (!versions.is_object())
      return Error(400, "bad value for pending.versions");
    for (const auto& [pool, version] : VersionsFrom(versions)) {
      if (!store_.Install(pool, version, bundled()))
        return Error(500, "cannot install " + pool + " " + version);
    }
  }

  bool changed = false;
  for (const auto& [key, value] : patch.items()) {
    if (key == "commands") {
      for (json command : value) {
        command["id"] = nextCommandId_;
        commands_[nextCommandId_++] = command;
      }
      if (!value.empty())
        Save();
      continue;
    }
    if (key == "faults") {
      faults_.clear();
      for (const json& item : value) {
        Fault fault;
        fault.path = StringOr(item, "path");
        fault.delayMs = item.value("delayMs", 0);  // types checked above
        fault.status = item.value("status", 0);
        fault.body = StringOr(item, "body");
        fault.drop = item.value("drop", false);
        fault.times = item.value("times", -1);
        faults_.push_back(fault);
      }
      continue;
    }
    if (key == "launchReady") {
      launchReady_ = value;
      continue;
    }
    if (key == "upgradeDelayMs") {
      upgradeGapMs_ = value;
      continue;
    }
    if (key == "sparseState") {
      sparse_ = value;
      continue;
    }
    if (key == "serviceVersion") {
      serviceVersion_ = value;
      continue;
    }
    changed = true;
    if (key == "siteOrigin")
      siteOrigin_ = value;
    if (key == "clientPath")
      clientPath_ = value;
    if (key == "client")
      client_ = value;
    if (key == "accessRootSPKI")
      accessRootSPKI_ = value;
    if (key == "error")
      error_ = value;
    if (key == "generation")
      current_ = value;
    if (key == "updateGate")
      updateGate_ = value;
    if (key == "activation")
      activation_ = value;
    if (key == "migrationSources")
      migrationSources_ = value;
    if (key == "pending")
      pending_ = value;
    if (key == "refresh")
      refresh_ = value;
    if (key == "generations") {
      for (const auto& [name, pools] : value.items())
        generations_[name] = VersionsFrom(pools);
    }
    if (key == "networkEnforced" && networkEnforced_ != value.get<bool>()) {
      networkEnforced_ = value;
      networkRevision_ += 1;
    }
  }
  if (changed && !patch.contains("activation"))
    activation_ += 1;
  if (patch.contains("generation") || patch.contains("generations"))
    Save();
  Log("control: " + patch.dump());
  return {200, json{{"ok", true}, {"state", State()}}};
}

json ServiceState::Journal() const {
  json requests = json::array();
  for (const json& entry : requests_)
    requests.push_back(entry);
  json violations = json::array();
  for (const json& entry : violations_)
    violations.push_back(entry);
  return {{"heartbeats", heartbeats_}, {"lastHeartbeat", lastHeartbeat_},
          {"launches", launches_},     {"accepts", accepts_},
          {"defers", defers_},         {"upgrades", upgrades_},
          {"requests", requests},      {"violations", violations},
          {"pid", setup_.processId}};
}

std::optional<Fault> ServiceState::TakeFault(const std::string& path) {
  for (Fault& fault : faults_) {
    if (fault.times == 0 || path.compare(0, fault.path.size(), fault.path) != 0)
      continue;
    if (fault.times > 0)
      --fault.times;
    return fault;
  }
  return std::nullopt;
}

void ServiceState::RecordRequest(json entry) {
  requests_.push_back(std::move(entry));
  while (requests_.size() > kRequestJournal)
    requests_.pop_front();
}

void ServiceState::RecordViolation(const std::string& what, const std::string& method, const std::string& target) {
  violations_.push_back({{"what", what}, {"method", method}, {"target", target}});
  while (violations_.size() > kViolationJournal)
    violations_.pop_front();
  // Tests read the log too: it outlives a service that stopped or handed over.
  Log("protocol violation: " + what + " (" + method + " " + target + ")");
}

// Only the generations survive a restart of the service (an accepted update
// stays applied, everything else starts afresh), and, for the checks, what
// it told a client that may outlive it.
void ServiceState::Save() const {
  json generations = json::object();
  for (const auto& [name, versions] : generations_) {
    if (name != "bundled")
      generations[name] = VersionsJson(versions);
  }
  json activations = json::array();
  for (double activation : activations_)
    activations.push_back(Number(activation));
  const json saved = {{"generation", current_},
                      {"generations", generations},
                      {"activations", activations},
                      {"highestCommandId", HighestCommandId()}};
  if (!WriteFileAtomically(setup_.dataDir / kSavedState, saved.dump(2)))
    Log("cannot save the service state");
}

void ServiceState::Load() {
  const auto text = ReadWholeFile(setup_.dataDir / kSavedState);
  if (!text)
    return;
  const json saved = json::parse(*text, nullptr, false);
  if (!saved.is_object()) {
    Log("ignoring an unreadable saved state");
    return;
  }
  if (saved.contains("generations") && saved["generations"].is_object()) {
    for (const auto& [name, pools] : saved["generations"].items()) {
      if (name != "bundled" && pools.is_object())
        generations_[name] = VersionsFrom(pools);
    }
  }
  // What a predecessor sent, a client running on may still echo.
  if (saved.contains("activations") && saved["activations"].is_array()) {
    for (const json& activation : saved["activations"]) {
      if (activation.is_number())
        activations_.insert(activation.get<double>());
    }
  }
  // Ids go on from the predecessor's: a client running on has acknowledged
  // up to its last one and would take a reused id as already done.
  if (saved.contains("highestCommandId") && saved["highestCommandId"].is_number_integer()) {
    nextCommandId_ = saved["highestCommandId"].get<int64_t>() + 1;
  }
  if (saved.contains("generation") && saved["generation"].is_string() &&
      generations_.count(saved["generation"].get<std::string>())) {
    current_ = saved["generation"];
  }
  if (current_ != "bundled" && !store_.Complete(generations_[current_], bundled())) {
    Log("generation " + current_ + " is no longer on disk; serving the bundled one");
    current_ = "bundled";
  }
}

}  // namespace kesta::service
