// StandInHost: plays the host's part for one module instance.
//
// It creates the instance with a makeModule function (from a loaded library
// or linked in), reads the descriptions, numbers the pins as the module
// does, owns one sample buffer per pin and writes their addresses into the
// pin variables before every processing call, keeps the sample clock,
// answers every callback opcode, queues the events the module hands over and
// delivers queued events exactly at their clock (splitting a run of samples
// there), and logs every callback with its arguments.
//
// Scripting a host: tests choose the pin count, the clock, the connection
// answer and the stack alignment of every call into the module, and may bind
// storage of their own in place of a pin's buffer.
//
// Lifetime: the instance lives from create() until close(); the destructor
// closes it if needed. One thread at a time, like a real host's instance.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "module_library.h"
#include "se_records.h"

namespace sehost {

struct CallbackCall {
  long opcode;
  long index;
  long value;
  uint32_t ptr;  // the pointer argument as a 32-bit word (a clock for some opcodes)
  float opt;
};

struct PinStatusAnnouncement {
  int pin;
  state_type state;
  uint32_t clock;
};

struct HostPin {
  int description;          // which description it was numbered from
  SEPinProperties properties;  // that description, as the host read it
  bool repeated;            // added by repeating a repeatable last description
};

class StandInHost {
 public:
  explicit StandInHost(MakeModuleFunction make_module);
  explicit StandInHost(const ModuleLibrary& library) : StandInHost(library.makeModule()) {}
  ~StandInHost();

  // ---- Scripting (set before the calls they affect) ----------------------
  // Answer to HOST_GET_PIN_COUNT; by default the number of pins that the
  // numbering rule yields from the descriptions.
  void setPinCount(long count) { m_pin_count_override = count; m_has_pin_count_override = true; }
  // Every call into the module is made with the stack this many bytes past
  // a 16-byte boundary (0, 4, 8 or 12).
  void setStackMisalignment(unsigned bytes) { m_misalignment = bytes; }
  void setConnectedAnswer(long answer) { m_connected_answer = answer; }
  // Called for every callback after it is logged and before it is answered.
  void onCallback(std::function<void(const CallbackCall&)> observer) { m_observer = std::move(observer); }

  // ---- Lifecycle ----------------------------------------------------------
  // makeModule(index, type, callback, this); false when it answers null.
  bool create(int index = 0, int type = 1);
  // MOD_GET_PIN_PROPERTIES for plug 0, 1, ... until the module answers 0.
  const std::vector<SEPinProperties>& readDescriptions();
  // Reads the descriptions if not yet read, sizes the buffers, MOD_OPEN.
  void open();
  // MOD_CLOSE; answers what the dispatcher answered.
  long close();
  bool isCreated() const { return m_record != nullptr; }

  long dispatch(long opcode, long index = 0, long value = 0, void* ptr = nullptr, float opt = 0.0f);
  SEMod_struct_base2* record() const { return m_record; }
  SEModule_base* object() const { return m_record ? m_record->object : nullptr; }

  // ---- Pins and buffers ---------------------------------------------------
  const std::vector<HostPin>& pins() const { return m_pins; }
  long pinCountAnswer() const;
  // Resizes every pin's own buffer (filled with 0) and sends MOD_SET_BLOCK_SIZE.
  void setBlockSize(long samples);
  long blockSize() const { return m_block_size; }
  // The storage the host binds for `pin`: its own buffer unless bound.
  float* buffer(int pin);
  // Binds storage of the caller's in place of the pin's own buffer; null
  // returns to the own buffer.
  void bindBuffer(int pin, float* samples);

  // ---- Clock ----------------------------------------------------------------
  uint32_t sampleClock() const { return m_clock; }
  uint32_t blockStartClock() const { return m_block_start; }
  // Starts the current block at `clock` (the clock of element 0 of every buffer).
  void setBlockStartClock(uint32_t clock) { m_block_start = m_clock = clock; }

  // ---- Processing and events -----------------------------------------------
  // Binds the buffers and calls process_function(object, start, count) with
  // the clock at block start + start.
  void process(long start, long count);
  // Processes samples 0 to count-1 of the current block, delivering every
  // queued event due in it at its clock, then starts the next block.
  void runBlock(long count);
  // Delivers an event now: the clock becomes its time stamp.
  void deliver(const SeEvent& event);
  void deliverStatusChange(int pin, state_type state, uint32_t clock);
  void queueEvent(const SeEvent& event) { m_queue.push_back(event); }
  const std::deque<SeEvent>& queuedEvents() const { return m_queue; }
  // Events added during a run of samples for a clock that the run had
  // already passed: never delivered.
  const std::vector<SeEvent>& missedEvents() const { return m_missed; }

  // ---- What the module said -------------------------------------------------
  const std::vector<CallbackCall>& calls() const { return m_calls; }
  std::vector<CallbackCall> callsOf(long opcode) const;
  void clearCalls() { m_calls.clear(); }
  std::vector<PinStatusAnnouncement> pinStatusAnnouncements() const;
  std::vector<SeEvent> addedEvents() const { return m_added_events; }
  // The processing entry as last read from the record: at creation and after
  // every HOST_SET_PROCESS_FUNCTION.
  SEProcessFunction processFunction() const { return m_process_function; }
  int processFunctionChanges() const { return m_process_function_changes; }

 private:
  StandInHost(const StandInHost&) = delete;
  StandInHost& operator=(const StandInHost&) = delete;

  static long SE_CDECL callback(SEMod_struct_base2* record, long opcode, long index, long value,
                                void* ptr, float opt);
  long answer(const CallbackCall& call, void* ptr);
  void numberPins();
  void bindVariables();
  bool takeDueEvent(uint32_t clock, SeEvent* event);
  void moveMissedEvents(long run_start, long run_end);

  MakeModuleFunction m_make_module;
  SEMod_struct_base2* m_record = nullptr;
  unsigned m_misalignment = 0;
  long m_pin_count_override = 0;
  bool m_has_pin_count_override = false;
  long m_connected_answer = 1;
  std::function<void(const CallbackCall&)> m_observer;

  std::vector<SEPinProperties> m_descriptions;
  bool m_descriptions_read = false;
  std::vector<HostPin> m_pins;
  long m_block_size = 1024;
  std::vector<std::vector<float>> m_own_buffers;
  std::vector<float*> m_bound;

  uint32_t m_clock = 0;
  uint32_t m_block_start = 0;
  std::deque<SeEvent> m_queue;
  std::vector<SeEvent> m_missed;

  std::vector<CallbackCall> m_calls;
  std::vector<SeEvent> m_added_events;
  SEProcessFunction m_process_function = nullptr;
  int m_process_function_changes = 0;
};

// The module's texts as getModuleProperties gives them, for index 0.
struct ModuleTexts {
  bool ok;
  std::string name, unique_id, about;
  int32_t sdk_version;
};
ModuleTexts read_module_texts(GetModulePropertiesFunction get_properties, unsigned misalignment = 0);

}  // namespace sehost
