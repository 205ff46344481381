#include "stand_in_host.h"

#include <algorithm>
#include <cstring>

#include "stack_call.h"

namespace sehost {
namespace {

// No module describes this many plugs; a module that never answers 0 is cut off.
constexpr long kMostDescriptions = 4096;

bool is_pin_bearing(const SEPinProperties& description) {
  return (description.flags & IO_UI_COMMUNICATION) == 0 ||
         (description.flags & IO_UI_WITH_PIN) != 0;
}

}  // namespace

StandInHost::StandInHost(MakeModuleFunction make_module) : m_make_module(make_module) {}

StandInHost::~StandInHost() {
  if (m_record != nullptr) close();
}

// ---------------------------------------------------------------------------
// Lifecycle

bool StandInHost::create(int index, int type) {
  m_record = reinterpret_cast<SEMod_struct_base2*>(call_cdecl(
      reinterpret_cast<const void*>(m_make_module),
      {word(index), word(type), word(reinterpret_cast<const void*>(&StandInHost::callback)),
       word(this)},
      m_misalignment));
  if (m_record == nullptr) return false;
  m_process_function = m_record->process_function;
  return true;
}

long StandInHost::dispatch(long opcode, long index, long value, void* ptr, float opt) {
  return static_cast<long>(call_cdecl(reinterpret_cast<const void*>(m_record->dispatch_function),
                                      {word(m_record), word(opcode), word(index), word(value),
                                       word(ptr), word(opt)},
                                      m_misalignment));
}

const std::vector<SEPinProperties>& StandInHost::readDescriptions() {
  m_descriptions.clear();
  for (long plug = 0; plug < kMostDescriptions; ++plug) {
    SEPinProperties description;
    std::memset(&description, 0, sizeof description);
    if (dispatch(MOD_GET_PIN_PROPERTIES, plug, 0, &description) == 0) break;
    m_descriptions.push_back(description);
  }
  m_descriptions_read = true;
  numberPins();
  return m_descriptions;
}

void StandInHost::open() {
  if (!m_descriptions_read) readDescriptions();
  dispatch(MOD_OPEN);
}

long StandInHost::close() {
  const long result = dispatch(MOD_CLOSE);
  m_record = nullptr;  // the instance and its record are gone
  return result;
}

// ---------------------------------------------------------------------------
// Pins and buffers

// The module's own numbering: pin-bearing descriptions in order, then
// repeats of a repeatable last description up to the pin count.
void StandInHost::numberPins() {
  m_pins.clear();
  for (size_t d = 0; d < m_descriptions.size(); ++d)
    if (is_pin_bearing(m_descriptions[d])) m_pins.push_back({int(d), m_descriptions[d], false});
  if (!m_descriptions.empty() && m_has_pin_count_override) {
    const SEPinProperties& last = m_descriptions.back();
    if (is_pin_bearing(last) && (last.flags & IO_REPEATABLE) != 0) {
      const long count = std::min(m_pin_count_override, kMostDescriptions);
      while (long(m_pins.size()) < count)
        m_pins.push_back({int(m_descriptions.size() - 1), last, true});
    }
  }
  setBlockSize(m_block_size);
}

long StandInHost::pinCountAnswer() const {
  return m_has_pin_count_override ? m_pin_count_override : long(m_pins.size());
}

void StandInHost::setBlockSize(long samples) {
  m_block_size = samples;
  const size_t pins = std::max<size_t>(m_pins.size(), 1);
  m_own_buffers.assign(pins, std::vector<float>(size_t(std::max<long>(samples, 1)), 0.0f));
  m_bound.resize(pins, nullptr);
  if (m_record != nullptr) dispatch(MOD_SET_BLOCK_SIZE, 0, samples);
}

float* StandInHost::buffer(int pin) {
  if (pin < 0 || size_t(pin) >= m_own_buffers.size()) return nullptr;
  return m_bound[pin] != nullptr ? m_bound[pin] : m_own_buffers[pin].data();
}

void StandInHost::bindBuffer(int pin, float* samples) {
  if (pin >= 0 && size_t(pin) < m_bound.size()) m_bound[pin] = samples;
}

void StandInHost::bindVariables() {
  for (size_t p = 0; p < m_pins.size(); ++p) {
    const SEPinProperties& description = m_pins[p].properties;
    if (m_pins[p].repeated || description.variable_address == nullptr ||
        description.datatype != DT_FSAMPLE)
      continue;
    *static_cast<float**>(description.variable_address) = buffer(int(p));
  }
}

// ---------------------------------------------------------------------------
// Processing and events

void StandInHost::process(long start, long count) {
  bindVariables();
  m_clock = m_block_start + uint32_t(start);
  call_cdecl(reinterpret_cast<const void*>(m_process_function),
             {word(m_record->object), word(start), word(count)}, m_misalignment);
}

void StandInHost::deliver(const SeEvent& event) {
  bindVariables();
  m_clock = event.time_stamp;
  SeEvent copy = event;  // ours: the module reads it only during the call
  call_cdecl(reinterpret_cast<const void*>(m_record->event_function),
             {word(m_record->object), word(&copy)}, m_misalignment);
}

void StandInHost::deliverStatusChange(int pin, state_type state, uint32_t clock) {
  deliver(SeEvent(clock, EV_STATUS_CHANGE, state, 0,
                  reinterpret_cast<void*>(static_cast<uintptr_t>(pin))));
}

bool StandInHost::takeDueEvent(uint32_t clock, SeEvent* event) {
  for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
    if (it->time_stamp != clock) continue;
    *event = *it;
    m_queue.erase(it);
    return true;
  }
  return false;
}

// An event the module added during a run of samples for a clock inside that
// run can no longer be delivered at its clock: it is set aside where tests
// see it, rather than waiting in the queue for the clock to wrap.
void StandInHost::moveMissedEvents(long run_start, long run_end) {
  for (auto it = m_queue.begin(); it != m_queue.end();) {
    const uint32_t offset = it->time_stamp - m_block_start;
    if (offset > uint32_t(run_start) && offset < uint32_t(run_end)) {
      m_missed.push_back(*it);
      it = m_queue.erase(it);
    } else {
      ++it;
    }
  }
}

void StandInHost::runBlock(long count) {
  long position = 0;
  for (;;) {
    // Events due now, including any the module adds for this very clock.
    SeEvent due;
    for (int guard = 0; guard < 100000 && takeDueEvent(m_block_start + uint32_t(position), &due);
         ++guard)
      deliver(due);
    if (position >= count) break;

    long next = count;
    for (const SeEvent& event : m_queue) {
      const uint32_t offset = event.time_stamp - m_block_start;
      if (offset > uint32_t(position) && offset < uint32_t(next)) next = long(offset);
    }
    process(position, next - position);
    moveMissedEvents(position, next);
    position = next;
    if (position >= count) break;
  }
  m_block_start += uint32_t(count);
  m_clock = m_block_start;
}

// ---------------------------------------------------------------------------
// Callbacks

long SE_CDECL StandInHost::callback(SEMod_struct_base2* record, long opcode, long index,
                                    long value, void* ptr, float opt) {
  auto* host = static_cast<StandInHost*>(record->host_ptr);
  const CallbackCall call{opcode, index, value, word(ptr), opt};
  host->m_calls.push_back(call);
  if (host->m_observer) host->m_observer(call);
  if (opcode == HOST_SET_PROCESS_FUNCTION) {
    host->m_process_function = record->process_function;
    ++host->m_process_function_changes;
    return 0;
  }
  return host->answer(call, ptr);
}

long StandInHost::answer(const CallbackCall& call, void* ptr) {
  switch (call.opcode) {
    case HOST_IS_PIN_CONNECTED:
      return m_connected_answer;
    case HOST_GET_SAMPLE_CLOCK:
      return long(m_clock);
    case HOST_GET_PIN_BUFFER:
      return long(word(buffer(int(call.index))));
    case HOST_GET_BLOCK_START_CLOCK:
      return long(m_block_start);
    case HOST_GET_PIN_COUNT:
      return pinCountAnswer();
    case HOST_ADD_EVENT:
      if (ptr != nullptr) {
        const SeEvent event = *static_cast<const SeEvent*>(ptr);  // gone when we return
        m_queue.push_back(event);
        m_added_events.push_back(event);
      }
      return 0;
    default:  // HOST_SET_PIN_STATUS, HOST_SEND_MIDI and anything unknown
      return 0;
  }
}

std::vector<CallbackCall> StandInHost::callsOf(long opcode) const {
  std::vector<CallbackCall> matching;
  for (const CallbackCall& call : m_calls)
    if (call.opcode == opcode) matching.push_back(call);
  return matching;
}

std::vector<PinStatusAnnouncement> StandInHost::pinStatusAnnouncements() const {
  std::vector<PinStatusAnnouncement> announced;
  for (const CallbackCall& call : callsOf(HOST_SET_PIN_STATUS))
    announced.push_back({int(call.index), state_type(call.value), call.ptr});
  return announced;
}

ModuleTexts read_module_texts(GetModulePropertiesFunction get_properties, unsigned misalignment) {
  SEModuleProperties properties;
  std::memset(&properties, 0, sizeof properties);
  ModuleTexts texts{};
  texts.ok = call_cdecl(reinterpret_cast<const void*>(get_properties),
                        {word(0), word(&properties)}, misalignment) == 1;
  texts.sdk_version = properties.sdk_version;
  if (properties.name) texts.name = properties.name;
  if (properties.unique_id) texts.unique_id = properties.unique_id;
  if (properties.about) texts.about = properties.about;
  return texts;
}

}  // namespace sehost
