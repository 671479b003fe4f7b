#pragma once
// What is wrong with listed devices at a glance: an address that more than one device (MAC)
// answers with, and a device whose address lies outside every subnet of the adapter its reply
// came in on (it must be re-addressed before the computer can reach it). Worked out again
// shortly after the list changes; Changed() tells the views to repaint.
#include "protocols/DevInfo.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zadari {

class TDeviceList;
struct TInterfaceSubnet;

struct TDeviceMarks {
    std::vector<std::string> sameAddressAs; ///< the other devices' MACs answering at its IP
    bool otherSubnet = false;
    bool Any() const { return otherSubnet || !sameAddressAs.empty(); }
};

class TListMarks : public QObject {
    Q_OBJECT
public:
    using TSubnetSource = std::function<std::vector<TInterfaceSubnet>(int index)>;

    /// `list` must outlive the marks. `subnets` gives an adapter's subnets by kernel index (the
    /// computer's own by default).
    explicit TListMarks(TDeviceList& list, TSubnetSource subnets = {}, QObject* parent = nullptr);
    ~TListMarks() override;

    /// The marks of the device with this mac (none for an unmarked or unknown one).
    TDeviceMarks MarksOf(const std::string& mac) const;
    /// The tooltip text for them in the current language ("" when none).
    QString TooltipOf(const std::string& mac) const;
    /// Works the marks out now (normally done shortly after the list changed).
    void Refresh();

Q_SIGNALS:
    void Changed();

private:
    TDeviceList& list_;
    TSubnetSource subnets_;
    std::map<std::string, TDeviceMarks> marks_;
    QTimer refresh_;
};

} // namespace zadari
