// CInterface: one row of the interface table as a plain record.
//
// No logic and no checking: each setter stores its value, each getter returns
// it. A text setter takes its own copy, so a caller may move one in. Counters
// that the platform keeps as unsigned 32-bit values are held as signed 32-bit
// numbers, so 2^31 and above read as negative. Shared through
// std::shared_ptr; a record outlives any collection that held it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tovi {

// Days since 30 December 1899, midnight, with the time of day as the fraction.
using DateTime = double;

class CInterface {
public:
    const std::string& InterfaceDescription() const { return description_; }
    void setInterfaceDescription(std::string strNewValue) { description_ = std::move(strNewValue); }
    std::int32_t OutputQueueLength() const { return outputQueueLength_; }
    void setOutputQueueLength(std::int32_t lngNewValue) { outputQueueLength_ = lngNewValue; }
    std::int32_t OutgoingErrors() const { return outgoingErrors_; }
    void setOutgoingErrors(std::int32_t lngNewValue) { outgoingErrors_ = lngNewValue; }
    std::int32_t DiscardedOutgoingPackets() const { return discardedOutgoing_; }
    void setDiscardedOutgoingPackets(std::int32_t lngNewValue) { discardedOutgoing_ = lngNewValue; }
    std::int32_t NonunicastPacketsSent() const { return nonunicastSent_; }
    void setNonunicastPacketsSent(std::int32_t lngNewValue) { nonunicastSent_ = lngNewValue; }
    std::int32_t UnicastPacketsSent() const { return unicastSent_; }
    void setUnicastPacketsSent(std::int32_t lngNewValue) { unicastSent_ = lngNewValue; }
    std::int32_t OctetsSent() const { return octetsSent_; }
    void setOctetsSent(std::int32_t lngNewValue) { octetsSent_ = lngNewValue; }
    std::int32_t UnknownProtocolPackets() const { return unknownProtocol_; }
    void setUnknownProtocolPackets(std::int32_t lngNewValue) { unknownProtocol_ = lngNewValue; }
    std::int32_t IncomingErrors() const { return incomingErrors_; }
    void setIncomingErrors(std::int32_t lngNewValue) { incomingErrors_ = lngNewValue; }
    std::int32_t DiscardedIncomingPackets() const { return discardedIncoming_; }
    void setDiscardedIncomingPackets(std::int32_t lngNewValue) { discardedIncoming_ = lngNewValue; }
    std::int32_t NonunicastPacketsReceived() const { return nonunicastReceived_; }
    void setNonunicastPacketsReceived(std::int32_t lngNewValue) { nonunicastReceived_ = lngNewValue; }
    std::int32_t MaximumTransmissionUnit() const { return mtu_; }
    void setMaximumTransmissionUnit(std::int32_t lngNewValue) { mtu_ = lngNewValue; }
    std::int32_t UnicastPacketsReceived() const { return unicastReceived_; }
    void setUnicastPacketsReceived(std::int32_t lngNewValue) { unicastReceived_ = lngNewValue; }
    std::int32_t OctetsReceived() const { return octetsReceived_; }
    void setOctetsReceived(std::int32_t lngNewValue) { octetsReceived_ = lngNewValue; }
    DateTime LastChange() const { return lastChange_; }
    void setLastChange(DateTime datNewValue) { lastChange_ = datNewValue; }
    std::int32_t OperationalStatus() const { return operationalStatus_; }
    void setOperationalStatus(std::int32_t NewValue) { operationalStatus_ = NewValue; }
    std::int32_t AdminStatus() const { return adminStatus_; }
    void setAdminStatus(std::int32_t NewValue) { adminStatus_ = NewValue; }
    const std::string& AdapterAddress() const { return adapterAddress_; }
    void setAdapterAddress(std::string strNewValue) { adapterAddress_ = std::move(strNewValue); }
    std::int32_t Speed() const { return speed_; }  // bits per second
    void setSpeed(std::int32_t lngNewValue) { speed_ = lngNewValue; }
    std::int32_t InterfaceType() const { return interfaceType_; }
    void setInterfaceType(std::int32_t NewValue) { interfaceType_ = NewValue; }
    std::int32_t InterfaceIndex() const { return interfaceIndex_; }
    void setInterfaceIndex(std::int32_t lngNewValue) { interfaceIndex_ = lngNewValue; }
    // UTF-8; the NUL units that follow the name in the row are kept.
    const std::string& InterfaceName() const { return name_; }
    void setInterfaceName(std::string strNewValue) { name_ = std::move(strNewValue); }

private:
    std::string name_;
    std::int32_t interfaceIndex_ = 0;
    std::int32_t interfaceType_ = 0;
    std::int32_t speed_ = 0;
    std::string adapterAddress_;
    std::int32_t adminStatus_ = 0;
    std::int32_t operationalStatus_ = 0;
    DateTime lastChange_ = 0.0;
    std::int32_t octetsReceived_ = 0;
    std::int32_t unicastReceived_ = 0;
    std::int32_t mtu_ = 0;
    std::int32_t nonunicastReceived_ = 0;
    std::int32_t discardedIncoming_ = 0;
    std::int32_t incomingErrors_ = 0;
    std::int32_t unknownProtocol_ = 0;
    std::int32_t octetsSent_ = 0;
    std::int32_t unicastSent_ = 0;
    std::int32_t nonunicastSent_ = 0;
    std::int32_t discardedOutgoing_ = 0;
    std::int32_t outgoingErrors_ = 0;
    std::int32_t outputQueueLength_ = 0;
    std::string description_;
};

}  // namespace tovi
