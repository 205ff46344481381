// The records exchanged with the host. Their layouts are fixed: every field
// is 32 bits, offsets are asserted below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "se_types.h"

class SEModule_base;
struct SeEvent;

typedef void(SE_CDECL* SEProcessFunction)(SEModule_base* object, long start,
                                          long count);
typedef void(SE_CDECL* SEEventFunction)(SEModule_base* object, SeEvent* event);

// One per instance, embedded in the module object. Its address is what
// makeModule returns and what both sides pass first in every call. It stays
// put from makeModule until MOD_CLOSE returns; the host owns nothing of it.
struct SEMod_struct_base2 {
  uint32_t magic;                       // 0x5345504c; set, never read
  int32_t version;                      // 1
  void* host_ptr;                       // the host's own; stored, never read
  SEModule_base* object;                // first argument of process/event
  int32_t reserved;                     // 0
  SEDispatchFunction dispatch_function; // dispatchEffectClass
  SEProcessFunction process_function;   // changes only via setSubProcess
  SEEventFunction event_function;       // fixed for the instance's life
  uint8_t reserved_tail[16];            // 0
};

constexpr uint32_t SE_RECORD_MAGIC = 0x5345504c;

static_assert(sizeof(SEMod_struct_base2) == 48, "instance record is 48 bytes");
static_assert(offsetof(SEMod_struct_base2, magic) == 0, "");
static_assert(offsetof(SEMod_struct_base2, version) == 4, "");
static_assert(offsetof(SEMod_struct_base2, host_ptr) == 8, "");
static_assert(offsetof(SEMod_struct_base2, object) == 12, "");
static_assert(offsetof(SEMod_struct_base2, reserved) == 16, "");
static_assert(offsetof(SEMod_struct_base2, dispatch_function) == 20, "");
static_assert(offsetof(SEMod_struct_base2, process_function) == 24, "");
static_assert(offsetof(SEMod_struct_base2, event_function) == 28, "");
static_assert(offsetof(SEMod_struct_base2, reserved_tail) == 32, "");

// Module description, owned by the host. The module writes name, unique_id,
// about and sdk_version and leaves every other byte as the host passed it.
struct SEModuleProperties {
  const char* name;
  const char* unique_id;
  const char* about;
  int32_t host_slot_12;  // not written by the module
  int32_t host_slot_16;  // not written by the module
  int32_t sdk_version;
};

static_assert(sizeof(SEModuleProperties) == 24, "");
static_assert(offsetof(SEModuleProperties, name) == 0, "");
static_assert(offsetof(SEModuleProperties, unique_id) == 4, "");
static_assert(offsetof(SEModuleProperties, about) == 8, "");
static_assert(offsetof(SEModuleProperties, sdk_version) == 20, "");

// One plug's description, filled by the module for the host (dispatcher
// opcode 6) or for its own pin creation. Texts are library constants.
struct SEPinProperties {
  void* variable_address;     // module variable bound to the plug, or null
  EDirection direction;
  EPlugDataType datatype;
  const char* name;
  const char* default_value;  // e.g. "5"; null for none
  int32_t host_slot_20;       // neither read nor written by the module
  uint32_t flags;             // IO_ bits
  int32_t host_slot_28;       // neither read nor written by the module
};

static_assert(sizeof(SEPinProperties) == 32, "");
static_assert(offsetof(SEPinProperties, variable_address) == 0, "");
static_assert(offsetof(SEPinProperties, direction) == 4, "");
static_assert(offsetof(SEPinProperties, datatype) == 8, "");
static_assert(offsetof(SEPinProperties, name) == 12, "");
static_assert(offsetof(SEPinProperties, default_value) == 16, "");
static_assert(offsetof(SEPinProperties, flags) == 24, "");

// A timed event; travels by address in both directions. Whoever passes an
// event owns it; the receiver reads it only during the call.
struct SeEvent {
  SeEvent() = default;
  SeEvent(uint32_t p_time_stamp, int32_t p_event_type, int32_t p_int_param1,
          int32_t p_int_param2, void* p_ptr_param)
      : time_stamp(p_time_stamp),
        event_type(p_event_type),
        int_param1(p_int_param1),
        int_param2(p_int_param2),
        ptr_param(p_ptr_param),
        reserved(0) {}

  uint32_t time_stamp;  // sample clock at which the event takes effect
  int32_t event_type;   // EV_ codes
  int32_t int_param1;
  int32_t int_param2;
  void* ptr_param;      // for some types an integer in its 32 bits
  int32_t reserved;     // 0 in every event the module builds; never read
};

static_assert(sizeof(SeEvent) == 24, "");
static_assert(offsetof(SeEvent, time_stamp) == 0, "");
static_assert(offsetof(SeEvent, event_type) == 4, "");
static_assert(offsetof(SeEvent, int_param1) == 8, "");
static_assert(offsetof(SeEvent, int_param2) == 12, "");
static_assert(offsetof(SeEvent, ptr_param) == 16, "");
static_assert(offsetof(SeEvent, reserved) == 20, "");

// The one library-wide record that MOD_GET_INFO fills and returns. Every
// call rewrites it: offset 8 names the instance that was asked last.
struct SEModuleInfo {
  int32_t one;            // 1
  int32_t delegate_size;  // 8, the size of what `delegate` points at
  void* delegate;         // the instance's m_sub_process
  int32_t id;             // 1002
};

static_assert(sizeof(SEModuleInfo) == 16, "");
static_assert(offsetof(SEModuleInfo, delegate) == 8, "");
