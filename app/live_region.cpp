#include "app/live_region.h"

#include <oleacc.h>

#include "app/live_region_rules.h"
#include "common/scoped.h"

namespace {

// The service and the property, spelled out so that no import library is needed for them.
constexpr CLSID kAccPropServicesClass = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kLiveSettingPolite = 1;
constexpr DWORD kLiveRegionChangedEvent = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED

AnnouncementClock g_announcements;

// Empty without a control or when the service cannot be made.
ComPointer<IAccPropServices> OpenPropertyService(HWND control) {
  ComPointer<IAccPropServices> service;
  if (control && FAILED(CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                         kAccPropServicesInterface, reinterpret_cast<void**>(service.Put())))) {
    service.Reset();
  }
  return service;
}

}  // namespace

void MakeLiveRegion(HWND control) {
  g_announcements = AnnouncementClock();
  const ComPointer<IAccPropServices> service = OpenPropertyService(control);
  if (!service) return;
  // Zeroed by hand rather than with VariantInit, which alone would bind oleaut32 at start.
  VARIANT polite = {};
  polite.vt = VT_I4;
  polite.lVal = kLiveSettingPolite;
  service->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kLiveSettingProperty, polite);
}

void ForgetLiveRegion(HWND control) {
  const ComPointer<IAccPropServices> service = OpenPropertyService(control);
  if (!service) return;
  MSAAPROPID properties[] = {kLiveSettingProperty};
  service->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, properties, 1);
}

void AnnounceLiveRegionChange(HWND control, bool isProgress) {
  if (!control || !TakeAnnouncementTurn(g_announcements, isProgress, GetTickCount64())) return;
  NotifyWinEvent(kLiveRegionChangedEvent, control, OBJID_CLIENT, CHILDID_SELF);
}
