#include "link/Link.h"

WakeFlag LinkRunning;
TagTcpConnection* CurLink = nullptr;

TagTcpConnection::TagTcpConnection(SharedConfig& cfg, const LinkTiming& t) : config(cfg), timing(t) {}
TagTcpConnection::~TagTcpConnection() {}
void TagTcpConnection::StartWorker() {}
