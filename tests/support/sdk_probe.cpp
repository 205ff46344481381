#include "sdk_probe.h"

#include <new>
#include <utility>

namespace sdktest {

void PrintTo(const VirtualCall& call, std::ostream* out) {
  *out << call.name << "(";
  for (size_t i = 0; i < call.args.size(); ++i) *out << (i ? ", " : "") << call.args[i];
  *out << ")";
}

std::vector<VirtualCall> ProbeLog::of(const std::string& name) const {
  std::vector<VirtualCall> matching;
  for (const VirtualCall& call : calls)
    if (call.name == name) matching.push_back(call);
  return matching;
}

ProbeModule::~ProbeModule() { record("~ProbeModule"); }

void ProbeModule::record(std::string name, std::vector<double> args) {
  if (m_log != nullptr) m_log->calls.push_back({std::move(name), std::move(args)});
}

SEModule_base::process_function_ptr ProbeModule::processFunction(Process process) {
  switch (process) {
    case Process::a:
      return static_cast<process_function_ptr>(&ProbeModule::process_a);
    case Process::b:
      return static_cast<process_function_ptr>(&ProbeModule::process_b);
    case Process::idle:
      break;
  }
  return &SEModule_base::process_idle;
}

void ProbeModule::OnPlugStateChange(SEPin* pin) {
  record("OnPlugStateChange", {double(pin->getIndex()), double(pin->getStatus())});
  if (on_plug_state_change) on_plug_state_change(pin);
}

void ProbeModule::open() {
  record("open");
  SEModule_base::open();
  if (process_on_open) select(*process_on_open);
}

void ProbeModule::close() { record("close"); }

void ProbeModule::setSampleRate(float sample_rate) {
  record("setSampleRate", {sample_rate});
  SEModule_base::setSampleRate(sample_rate);
}

void ProbeModule::setBlockSize(long block_size) {
  record("setBlockSize", {double(block_size)});
  SEModule_base::setBlockSize(block_size);
}

bool ProbeModule::getPinProperties(long index, SEPinProperties* properties) {
  record("getPinProperties", {double(index)});
  if (index < 0 || index >= long(plugs.size()) || index >= kMostPlugs) return false;
  const PlugScript& plug = plugs[size_t(index)];
  properties->variable_address = plug.own_variable ? variableOf(int(index)) : nullptr;
  if (plug.direction) properties->direction = *plug.direction;
  properties->datatype = EPlugDataType(plug.datatype);
  properties->name = plug.name;
  if (plug.flags) properties->flags = *plug.flags;
  return true;
}

void ProbeModule::Resume() { record("Resume"); }
void ProbeModule::VoiceReset(int voice) { record("VoiceReset", {double(voice)}); }

void ProbeModule::OnMidiData(unsigned long time_stamp, unsigned long data, short extra) {
  record("OnMidiData", {double(time_stamp), double(data), double(extra)});
}

void ProbeModule::OnGuiNotify(int user_msg_id, int size, void* data) {
  record("OnGuiNotify", {double(user_msg_id), double(size), as_arg(data)});
}

void SE_CDECL ProbeModule::process_a(long start, long count) {
  record("process_a", {double(start), double(count)});
  if (on_process) on_process(*this, start, count);
}

void SE_CDECL ProbeModule::process_b(long start, long count) {
  record("process_b", {double(start), double(count)});
  if (on_process) on_process(*this, start, count);
}

SEMod_struct_base2* SE_CDECL make_probe_module(int index, int type, SEHostCallback callback,
                                               void* host_ptr) {
  if (index != 0 || type != 1) return nullptr;
  auto* probe = new (std::nothrow) ProbeModule(callback, host_ptr);
  return probe ? probe->getAeffect() : nullptr;
}

ProbeHost::ProbeHost(std::vector<PlugScript> plugs) {
  host.create();
  probe().attach(&log);
  probe().plugs = std::move(plugs);
}

}  // namespace sdktest
