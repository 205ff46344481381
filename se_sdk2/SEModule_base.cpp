#include "SEModule_base.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "se_check.h"

namespace {

const char kSource[] = "SEModule_base";

// The library's one MOD_GET_INFO record, shared by all instances.
SEModuleInfo info;

// A description gets a pin unless it is a UI-communication plug without
// a pin of its own.
bool is_pin_bearing(const SEPinProperties& description) {
  return (description.flags & IO_UI_COMMUNICATION) == 0 ||
         (description.flags & IO_UI_WITH_PIN) != 0;
}

template <typename To, typename From>
To code_address(From function) {
  static_assert(sizeof(From) == 8, "a pointer to member function");
  To address;
  std::memcpy(&address, &function, sizeof address);
  return address;
}

}  // namespace

long SE_CDECL dispatchEffectClass(SEMod_struct_base2* record, long opcode,
                                  long index, long value, void* ptr, float opt) {
  return record->object->dispatcher(opcode, index, value, ptr, opt);
}

SEModule_base::SEModule_base(SEHostCallback callback, void* host_ptr)
    : m_callback(callback),
      m_sample_rate(44100.0f),
      m_block_size(1024),
      m_pins(nullptr),
      m_sub_process(&SEModule_base::process_idle),
      m_pin_count(0) {
  std::memset(&m_record, 0, sizeof m_record);
  m_record.magic = SE_RECORD_MAGIC;
  m_record.version = 1;
  m_record.host_ptr = host_ptr;
  m_record.object = this;
  m_record.dispatch_function = &dispatchEffectClass;
  m_record.process_function =
      reinterpret_cast<SEProcessFunction>(m_sub_process.RawPointer());
  m_record.event_function = code_address<SEEventFunction>(&SEModule_base::private_HandleEvent);
}

SEModule_base::~SEModule_base() { releasePins(); }

void SEModule_base::releasePins() {
  // delete[] destroys the pins from the last to the first.
  delete[] m_pins;
  m_pins = nullptr;
  m_pin_count = 0;
}

// ---------------------------------------------------------------------------
// Virtual defaults

void SEModule_base::OnPlugStateChange(SEPin*) {}
void SEModule_base::close() {}
void SEModule_base::OnInputStatusChange(int, state_type) {}
void SEModule_base::setSampleRate(float sample_rate) { m_sample_rate = sample_rate; }
void SEModule_base::setBlockSize(long block_size) { m_block_size = block_size; }
float SEModule_base::getSampleRate() { return m_sample_rate; }
long SEModule_base::getBlockSize() { return m_block_size; }
bool SEModule_base::getPinProperties(long, SEPinProperties*) { return false; }
bool SEModule_base::getName(char*) { return false; }
bool SEModule_base::getUniqueId(char*) { return false; }
void SEModule_base::Resume() {}
void SEModule_base::VoiceReset(int) {}
void SEModule_base::OnMidiData(unsigned long, unsigned long, short) {}
void SEModule_base::OnGuiNotify(int, int, void*) {}

// ---------------------------------------------------------------------------
// Host commands

long SEModule_base::dispatcher(long opcode, long index, long value, void* ptr,
                               float opt) {
  long result = 0;
  // Unsigned, so that negative opcodes fall out of range with the rest.
  switch (static_cast<unsigned long>(opcode)) {
    case MOD_OPEN:
      open();
      break;
    case MOD_CLOSE:
      close();
      delete this;  // nothing of the object may be touched after this
      return 1;
    case MOD_SET_SAMPLE_RATE:
      setSampleRate(opt);
      break;
    case MOD_SET_BLOCK_SIZE:
      setBlockSize(value);
      break;
    case MOD_GET_PIN_PROPERTIES: {
      // A host that passes no record gets no description and no check.
      auto* properties = static_cast<SEPinProperties*>(ptr);
      if (properties == nullptr) return 0;
      result = getPinProperties(index, properties) ? 1 : 0;
      // Runs whether or not the plug exists, on the record as it now stands.
      SE_CHECK((((SEPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 ||
                   (((SEPinProperties*)ptr)->flags & IO_PRIVATE) != 0 ||
                   ((SEPinProperties*)ptr)->direction == DR_OUT ||
                   (((SEPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0,
               "(((SEPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
               "(((SEPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
               "((SEPinProperties*)ptr)->direction == DR_OUT || "
               "( ( (SEPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0",
               kSource);
      break;
    }
    case 7:  // never sent by a host
      SE_CHECK(false, "false", kSource);
      [[fallthrough]];
    case MOD_RESUME:
      Resume();
      if (index > 0) VoiceReset(index);
      break;
    case 10:  // never sent by a host
      SE_CHECK(false, "false", kSource);
      [[fallthrough]];
    case MOD_GUI_NOTIFY:
      OnGuiNotify(value, index, ptr);
      break;
    case MOD_GET_INFO:
      info.one = 1;
      info.delegate_size = sizeof m_sub_process;
      info.delegate = &m_sub_process;
      info.id = 1002;
      result = static_cast<long>(reinterpret_cast<uintptr_t>(&info));
      break;
    default:  // 4, 5, 9, 11 and everything above 13
      break;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Host services

long SEModule_base::CallHost(long opcode, long index, long value, void* ptr,
                             float opt) {
  if (m_callback == nullptr) return 0;
  return m_callback(&m_record, opcode, index, value, ptr, opt);
}

uint32_t SEModule_base::SampleClock() {
  return static_cast<uint32_t>(CallHost(HOST_GET_SAMPLE_CLOCK, 0, 0, nullptr, 0.0f));
}

SEPin* SEModule_base::getPin(int index) {
  SE_CHECK(m_pins != 0, "m_pins != 0", kSource);
  if (m_pins == nullptr || index < 0 || index >= m_pin_count) return nullptr;
  return &m_pins[index];
}

bool SEModule_base::getPinProperties_clean(long index, SEPinProperties* properties) {
  std::memset(properties, 0, sizeof *properties);
  return getPinProperties(index, properties);
}

// ---------------------------------------------------------------------------
// Pin creation

void SEModule_base::open() { createPins(); }

void SEModule_base::createPins() {
  const long count = CallHost(HOST_GET_PIN_COUNT, 0, 0, nullptr, 0.0f);
  if (count > 0) {
    // A count the allocator cannot meet leaves the instance without pins
    // rather than unwinding out of the dispatcher.
    const unsigned long most = SIZE_MAX / sizeof(SEPin) - 1;
    if (static_cast<unsigned long>(count) <= most) {
      m_pins = new (std::nothrow) SEPin[static_cast<size_t>(count)];
    }
    if (m_pins != nullptr) m_pin_count = count;
  }

  SEPinProperties description;
  long d = 0;
  long p = 0;
  for (;;) {
    if (!getPinProperties_clean(d, &description)) break;
    if (p >= m_pin_count) break;  // one description more is asked than used
    if (is_pin_bearing(description)) {
      m_pins[p].Init(this, p, description.datatype, description.variable_address);
      ++p;
    }
    ++d;
  }

  getPinProperties_clean(d - 1, &description);
  if (is_pin_bearing(description) && (description.flags & IO_REPEATABLE) != 0) {
    for (; p < m_pin_count; ++p) m_pins[p].Init(this, p, description.datatype, nullptr);
  }
}

// ---------------------------------------------------------------------------
// Processing function

void SEModule_base::setSubProcess(process_function_ptr function) {
  const my_delegate<process_function_ptr> next(function);
  if (next == m_sub_process) return;
  m_sub_process = next;
  // The record holds the new entry before the host hears of it.
  m_record.process_function =
      reinterpret_cast<SEProcessFunction>(m_sub_process.RawPointer());
  CallHost(HOST_SET_PROCESS_FUNCTION, 0, 0, nullptr, 0.0f);
}

void SE_CDECL SEModule_base::process_idle(long, long) {}

// ---------------------------------------------------------------------------
// Events

void SE_CDECL SEModule_base::private_HandleEvent(SeEvent* e) {
  if (e == nullptr) return;
  HandleEvent(e);
}

void SEModule_base::HandleEvent(SeEvent* e) {
  SE_CHECK(e->time_stamp == SampleClock(), "e->time_stamp == SampleClock()", kSource);
  switch (e->event_type) {
    case EV_STATUS_CHANGE: {
      const auto pin_number =
          static_cast<int32_t>(reinterpret_cast<uintptr_t>(e->ptr_param));
      SEPin* pin = getPin(pin_number);
      if (pin != nullptr) pin->OnStatusUpdate(static_cast<state_type>(e->int_param1));
      break;
    }
    case EV_MIDI:
      OnMidiData(e->time_stamp, static_cast<uint32_t>(e->int_param1),
                 static_cast<int16_t>(e->int_param2 & 0xffff));
      break;
    case EV_RUN_DELAYED: {
      const my_delegate<delayed_function_ptr> delayed(e->ptr_param);
      // A code word the module never sent would be no function at all.
      if (delayed.RawPointer() != nullptr) (this->*delayed.Function())();
      break;
    }
    default:
      break;
  }
}

long SEModule_base::AddEvent(uint32_t p_time_stamp, int32_t event_type,
                             int32_t int_param1, int32_t int_param2,
                             void* ptr_param) {
  SE_CHECK(p_time_stamp >= SampleClock(), "p_time_stamp >= SampleClock()", kSource);
  SeEvent event(p_time_stamp, event_type, int_param1, int_param2, ptr_param);
  return CallHost(HOST_ADD_EVENT, 0, 0, &event, 0.0f);
}

long SEModule_base::RunDelayed(uint32_t time, delayed_function_ptr function) {
  // Only the code word travels; it comes back with adjustment 0.
  const my_delegate<delayed_function_ptr> delayed(function);
  return AddEvent(time, EV_RUN_DELAYED, 0, 0, delayed.RawPointer());
}
