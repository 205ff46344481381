// A probe module for testing the host interface layer on its own.
//
// ProbeModule derives from SEModule_base like any concrete module, but its
// plug descriptions are scripted by the test and every virtual operation it
// overrides is logged, in order, with its arguments. The log lives outside
// the probe, so that what the destructor and close() do on MOD_CLOSE is
// still readable afterwards.
//
// ProbeHost bundles a StandInHost that creates a probe through
// make_probe_module, the probe's log, and access to the probe object.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "SEModule_base.h"
#include "stand_in_host.h"

namespace sdktest {

// One virtual call as the probe saw it. Integers, pointers and floats all fit
// a double exactly at 32 bits.
struct VirtualCall {
  std::string name;
  std::vector<double> args;
  bool operator==(const VirtualCall& other) const {
    return name == other.name && args == other.args;
  }
};
void PrintTo(const VirtualCall& call, std::ostream* out);

inline double as_arg(const void* pointer) {
  return static_cast<double>(reinterpret_cast<uintptr_t>(pointer));
}

struct ProbeLog {
  std::vector<VirtualCall> calls;
  void clear() { calls.clear(); }
  // The calls of one name, in order.
  std::vector<VirtualCall> of(const std::string& name) const;
};

// What the probe's getPinProperties writes for one plug. Fields left unset
// are not written, so the record keeps whatever its owner put there.
struct PlugScript {
  std::optional<EDirection> direction = DR_IN;
  int32_t datatype = DT_FSAMPLE;
  std::optional<uint32_t> flags;
  bool own_variable = true;  // variable_address = the probe's variable for this plug
  const char* name = "plug";
};

// A plug of this direction (none: the direction is not written) and type,
// without flags, bound to the probe's variable.
inline PlugScript plug_of(std::optional<EDirection> direction, int32_t datatype) {
  PlugScript plug;
  plug.direction = direction;
  plug.datatype = datatype;
  return plug;
}
inline PlugScript input_plug(int32_t datatype = DT_FSAMPLE) { return plug_of(DR_IN, datatype); }
inline PlugScript output_plug(int32_t datatype = DT_FSAMPLE) { return plug_of(DR_OUT, datatype); }
inline PlugScript flagged(PlugScript plug, uint32_t flags) {
  plug.flags = flags;
  return plug;
}
inline PlugScript without_variable(PlugScript plug) {
  plug.own_variable = false;
  return plug;
}

class ProbeModule : public SEModule_base {
 public:
  static constexpr int kMostPlugs = 16;

  enum class Process { idle, a, b };

  ProbeModule(SEHostCallback callback, void* host_ptr) : SEModule_base(callback, host_ptr) {}
  ~ProbeModule() override;

  // ---- Scripting ----------------------------------------------------------
  void attach(ProbeLog* log) { m_log = log; }
  std::vector<PlugScript> plugs;
  // Selected by open() after the base has created the pins.
  std::optional<Process> process_on_open;
  // Run inside the probe's processing functions and OnPlugStateChange.
  std::function<void(ProbeModule&, long start, long count)> on_process;
  std::function<void(SEPin*)> on_plug_state_change;

  // ---- Access for tests ---------------------------------------------------
  void select(Process process) { setSubProcess(processFunction(process)); }
  static process_function_ptr processFunction(Process process);
  // The variable the description of `plug` hands out.
  void* variableOf(int plug) { return &m_variables[plug]; }

  // ---- Overrides, each logged -----------------------------------------------
  void OnPlugStateChange(SEPin* pin) override;
  void open() override;
  void close() override;
  void setSampleRate(float sample_rate) override;
  void setBlockSize(long block_size) override;
  bool getPinProperties(long index, SEPinProperties* properties) override;
  void Resume() override;
  void VoiceReset(int voice) override;
  void OnMidiData(unsigned long time_stamp, unsigned long data, short extra) override;
  void OnGuiNotify(int user_msg_id, int size, void* data) override;

  void SE_CDECL process_a(long start, long count);
  void SE_CDECL process_b(long start, long count);

 private:
  void record(std::string name, std::vector<double> args = {});

  ProbeLog* m_log = nullptr;
  float* m_variables[kMostPlugs] = {};
};

// A makeModule for the probe: index 0, type 1 only, like a library's.
SEMod_struct_base2* SE_CDECL make_probe_module(int index, int type, SEHostCallback callback,
                                               void* host_ptr);

// The first word of a pointer to member function: the code address of a
// non-virtual member.
template <typename MemberFunction>
void* code_word(MemberFunction function) {
  static_assert(sizeof function == 8, "a pointer to member function is two words");
  void* word;
  std::memcpy(&word, &function, sizeof word);
  return word;
}

// A stand-in host with one probe instance, created on construction.
class ProbeHost {
 public:
  explicit ProbeHost(std::vector<PlugScript> plugs = {});
  ProbeModule& probe() { return *static_cast<ProbeModule*>(host.object()); }

  ProbeLog log;  // declared first: it outlives the instance that writes to it
  sehost::StandInHost host{&make_probe_module};
};

}  // namespace sdktest
