#pragma once
// The two modal dialogs of the browse dialog: a device's or port group's
// Properties, and Add IP Device, which reaches a device that discovery did
// not find by its address or host name.
#include <string>

#include "DeviceRecords.h"
#include "Dialog.h"

namespace kvr {

class CDevice;
class CRegistryInfo;

class CDevicePropertyDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    // object: a CDevice or a CDevicePort; icon: its 32-pixel picture.
    CDevicePropertyDialog(CObject& object, HICON icon);

protected:
    BOOL OnInitDialog() override;

private:
    bool OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result);
    CObject& m_object;
    HICON m_icon;
};

// What the user typed in Add IP Device: four numbers 0..255, or a name.
struct DeviceTarget {
    enum class Kind { Address, HostName, Invalid } kind = Kind::Invalid;
    std::uint8_t address[4] = {};
    std::wstring hostName;
};
// Up to 64 characters count; text with anything but digits and dots, or
// digits and dots without exactly three dots, is a host name.
DeviceTarget ClassifyDeviceTarget(const std::wstring& typed);

class CAddIPDeviceDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    explicit CAddIPDeviceDialog(CRegistryInfo& model);
    bool Added() const { return m_added; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    void OnTextChanged();
    bool OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result);
    void Warn(const std::wstring& text);
    void ReadyForInput(bool addEnabled);
    void FinishAdd(const DeviceDetailRecord& found, const std::wstring& typed);

    CRegistryInfo& m_model;
    bool m_added = false;
};

}  // namespace kvr
