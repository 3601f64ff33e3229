// The card's list of numeric adjustments as the host reads it: entries in list
// order, each with its identifier, name, integer and real ranges, four words the
// host interprets, and the object that reads and writes its value. Values are
// never cached here: every get and set goes to the entry's adjustment object
// (or, for an entry without one, to the fallbacks). Host thread only; no lock.
#ifndef ZELTO_SETTINGS_ADJUSTMENT_SUPPORT_H_
#define ZELTO_SETTINGS_ADJUSTMENT_SUPPORT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zelto {

// Reads and writes one adjustment. The integer and real accessors default to
// 0 / nothing; the auxiliary value and the trigger are the adjustment's own.
class CAdjustment {
 public:
  virtual void GetRealValue(double* value) { *value = 0.0; }
  virtual void GetIntegerValue(int32_t* value) { *value = 0; }
  virtual void SetRealValue(double) {}
  virtual void SetIntegerValue(int32_t) {}
  virtual void GetAuxValue(int32_t* value) = 0;
  virtual void SetAuxValue(int32_t value) = 0;
  virtual void Trigger() = 0;

 protected:
  ~CAdjustment() = default;
};

// Fields in the order the host's descriptor lists them.
struct AdjustmentEntry {
  int32_t Id = 0;
  std::u16string Name;
  int32_t IntMin = 0;
  int32_t IntMax = 0;
  double RealMin = 0.0;
  double RealMax = 0.0;
  int32_t HostWordB = 0;
  int32_t HostWordC = 0;
  int32_t HostWordD = 0;
  int32_t IsInteger = 0;
  int32_t HostWordA = 0;
  CAdjustment* Adjustment = nullptr;  // not owned; null: the unhandled fallbacks
};

// The four host words, stored and handed back in the order A, B, C, D.
struct HostWords {
  int32_t a = 0, b = 0, c = 0, d = 0;
};

class CAdjustmentSupport {
 public:
  virtual ~CAdjustmentSupport() = default;
  // What an entry without an adjustment object answers.
  virtual void GetUnhandledInteger(int32_t id, int32_t* value);
  virtual void SetUnhandledInteger(int32_t id, int32_t value);
  virtual void GetUnhandledReal(int32_t id, double* value);
  virtual void SetUnhandledReal(int32_t id, double value);
  virtual void GetUnhandledAux(int32_t id, int32_t* value);
  virtual void SetUnhandledAux(int32_t id, int32_t value);
  virtual void TriggerUnhandled(int32_t id);

  // Appends an entry; the name is ANSI text, copied.
  void AddIntegerAdjustment(int32_t id, const char* name, int32_t min, int32_t max, HostWords words,
                            CAdjustment* adjustment);
  void AddRealAdjustment(int32_t id, const char* name, double min, double max, HostWords words,
                         CAdjustment* adjustment);
  void ClearAdjustments() { Adjustments.clear(); }

  int32_t GetAdjustmentCount() const { return static_cast<int32_t>(Adjustments.size()); }
  // The entry at list position `index`; null outside the list.
  const AdjustmentEntry* GetAdjustmentInfo(int32_t index) const;

  // Dispatch by identifier to the first entry with `id`. The getters write the
  // zero value first, so an unknown id reads 0 (0.0); a set of one does nothing.
  void GetIntegerValue(int32_t id, int32_t* value);
  void SetIntegerValue(int32_t id, int32_t value);
  void GetRealValue(int32_t id, double* value);
  void SetRealValue(int32_t id, double value);
  void GetAuxValue(int32_t id, int32_t* value);
  void SetAuxValue(int32_t id, int32_t value);
  void Trigger(int32_t id);

  const std::vector<AdjustmentEntry>& adjustments() const { return Adjustments; }

 private:
  AdjustmentEntry* Find(int32_t id);

  std::vector<AdjustmentEntry> Adjustments;
};

}  // namespace zelto

#endif  // ZELTO_SETTINGS_ADJUSTMENT_SUPPORT_H_
