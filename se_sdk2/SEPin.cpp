#include "SEPin.h"

#include "SEModule_base.h"
#include "se_check.h"

namespace {
const char kSource[] = "SEPin";

void* clock_as_pointer(uint32_t clock) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(clock));
}
}  // namespace

void SEPin::Init(SEModule_base* module, int index, EPlugDataType datatype,
                 void* variable_address) {
  m_module = module;
  m_index = index;
  m_datatype = datatype;
  m_variable_address = variable_address;
  m_status = ST_STATIC;

  m_storage.word = 0;
  if (variable_address != nullptr) return;

  // Without a variable of the module's, types with a value keep it here.
  switch (static_cast<uint32_t>(datatype)) {
    case 0:
      m_storage.i16 = 0;
      m_variable_address = &m_storage;
      break;
    case 4:
      m_storage.u8 = 0;
      m_variable_address = &m_storage;
      break;
    case DT_FSAMPLE:
      // Asked once: the host's buffer stays this pin's for the pin's life.
      m_storage.word = static_cast<uint32_t>(
          m_module->CallHost(HOST_GET_PIN_BUFFER, m_index, 0, nullptr, 0.0f));
      m_variable_address = &m_storage;
      break;
    case 6:
      m_storage.f32 = 0.0f;
      m_variable_address = &m_storage;
      break;
    case 8:
      m_storage.i32 = 0;
      m_variable_address = &m_storage;
      break;
    default:  // 1, 2, 3, 7 and anything above 8 keep no value
      break;
  }
}

void SEPin::TransmitStatusChange(uint32_t sample_clock, state_type new_state) {
  m_module->CallHost(HOST_SET_PIN_STATUS, m_index, new_state,
                     clock_as_pointer(sample_clock), 0.0f);
}

void SEPin::TransmitMIDI(uint32_t sampleclock, uint32_t message) {
  SE_CHECK(sampleclock >= m_module->SampleClock(),
           "sampleclock >= m_module->SampleClock()", kSource);
  m_module->CallHost(HOST_SEND_MIDI, m_index, static_cast<long>(message),
                     clock_as_pointer(sampleclock), 0.0f);
}

void SEPin::OnStatusUpdate(state_type new_state) {
  m_status = new_state;
  // A pin that open never initialised belongs to no module.
  if (m_module != nullptr) m_module->OnPlugStateChange(this);
  if (new_state == ST_ONE_SHOT) m_status = ST_STATIC;
}

bool SEPin::IsConnected() {
  return m_module->CallHost(HOST_IS_PIN_CONNECTED, m_index, 0, nullptr, 0.0f) != 0;
}

float SEPin::getValue() {
  SE_CHECK(m_datatype == DT_FSAMPLE, "m_datatype == DT_FSAMPLE", kSource);
  const uint32_t block_start = static_cast<uint32_t>(
      m_module->CallHost(HOST_GET_BLOCK_START_CLOCK, m_index, 0, nullptr, 0.0f));
  const uint32_t now = m_module->SampleClock();
  // Only a sample pin's variable holds a buffer address: on any other pin
  // (its check already reported) the variable holds a value of its own type,
  // or there is none, and nothing may be read through it as a buffer.
  if (m_datatype != DT_FSAMPLE || m_variable_address == nullptr) return 0.0f;
  const float* buffer = *static_cast<float* const*>(m_variable_address);
  if (buffer == nullptr) return 0.0f;  // a host that gave no buffer
  return buffer[now - block_start];
}
