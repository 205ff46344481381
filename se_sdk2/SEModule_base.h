// SEModule_base: the base class of every module's processing object.
//
// It embeds the instance record the host holds, turns dispatcher commands
// into virtual calls, creates the pin objects, wraps the host callback, holds
// the switchable processing function and turns delivered events into calls
// on pins and virtual operations.
//
// Ownership: created with operator new by makeModule; owns its pin array;
// deletes itself on MOD_CLOSE. The host owns the sample buffers.
// Threading: the host calls one instance from one thread at a time; nothing
// here locks. The library-wide `info` record is the only shared state.
#pragma once

#include <cstdint>

#include "SEPin.h"
#include "my_delegate.h"
#include "se_records.h"
#include "se_types.h"

class SEModule_base {
 public:
  // Processing functions: non-virtual members taking (start, count), called
  // by the host as cdecl functions with the object first.
  typedef void (SE_CDECL SEModule_base::*process_function_ptr)(long start, long count);
  // Delayed calls: members taking nothing.
  typedef void (SEModule_base::*delayed_function_ptr)();

  SEModule_base(SEHostCallback callback, void* host_ptr);
  virtual ~SEModule_base();

  // Virtual operations, in this order: hosts never see the table, but
  // delayed calls of virtual members travel as slot offsets.
  virtual void OnPlugStateChange(SEPin* pin);
  virtual void HandleEvent(SeEvent* e);
  virtual long dispatcher(long opcode, long index, long value, void* ptr, float opt);
  virtual void open();
  virtual void close();
  virtual void OnInputStatusChange(int pin, state_type status);
  virtual void setSampleRate(float sample_rate);
  virtual void setBlockSize(long block_size);
  virtual float getSampleRate();
  virtual long getBlockSize();
  virtual bool getPinProperties(long index, SEPinProperties* properties);
  virtual bool getName(char* name);
  virtual bool getUniqueId(char* id);
  virtual void Resume();
  virtual void VoiceReset(int voice);
  virtual void OnMidiData(unsigned long time_stamp, unsigned long data, short extra);
  virtual void OnGuiNotify(int user_msg_id, int size, void* data);

  SEMod_struct_base2* getAeffect() { return &m_record; }
  long CallHost(long opcode, long index = 0, long value = 0, void* ptr = nullptr,
                float opt = 0.0f);
  uint32_t SampleClock();
  // The pin at `index`; null (after a report when there are no pins) when
  // no such pin exists.
  SEPin* getPin(int index);
  bool getPinProperties_clean(long index, SEPinProperties* properties);

  void setSubProcess(process_function_ptr function);
  process_function_ptr getSubProcess() const { return m_sub_process.Function(); }
  void SE_CDECL process_idle(long start, long count);

  // Hands the host an event to deliver back at p_time_stamp.
  long AddEvent(uint32_t p_time_stamp, int32_t event_type, int32_t int_param1,
                int32_t int_param2, void* ptr_param);
  // Asks the host to call `function` on this module at `time`.
  long RunDelayed(uint32_t time, delayed_function_ptr function);

  // The record's event entry: passes every delivered event to HandleEvent.
  void SE_CDECL private_HandleEvent(SeEvent* e);

 private:
  SEModule_base(const SEModule_base&) = delete;
  SEModule_base& operator=(const SEModule_base&) = delete;

  void createPins();
  void releasePins();

  SEHostCallback m_callback;
  SEMod_struct_base2 m_record;
  float m_sample_rate;
  long m_block_size;
  SEPin* m_pins;
  my_delegate<process_function_ptr> m_sub_process;
  // Length of m_pins, so that no pin number from outside reaches past it.
  int32_t m_pin_count;
};

// The record's dispatch entry: forwards the five arguments after the record
// to the record's object's dispatcher, unchanged, and returns its answer.
long SE_CDECL dispatchEffectClass(SEMod_struct_base2* record, long opcode,
                                  long index, long value, void* ptr, float opt);

static_assert(sizeof(my_delegate<SEModule_base::process_function_ptr>) == 8, "");
