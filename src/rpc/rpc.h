#pragma once

// A small local RPC library with a C-style surface. A process publishes a
// service under a name, registers procedures by name with a signature string
// and receives calls from other processes of the same user; callers connect
// to the service by name and call a procedure with one composite argument
// (a list of integers, UTF-8 strings and nested lists) or with none.
//
// Threads: a started service runs on a thread of the library's own. Handlers
// and the two notification callbacks are called on that thread, never on the
// caller's GUI thread. The client functions block the calling thread.
//
// The transport and the frames on it are described in rpcwire.h.

#include <cstdint>
#include <functional>

// One argument value: an integer, a string or a list of items. Reading a
// value as the wrong kind, or an item past the end of a list, yields 0, ""
// or an empty value, never a null pointer.
class IRpcArgument
{
public:
    virtual int toInt() = 0;
    // Zero-terminated UTF-8; owned by the argument.
    virtual const char *toString() = 0;
    virtual IRpcArgument *item(int index) = 0;

protected:
    // Arguments are owned by the library (received ones) or released with
    // RpcArgFree (built ones), never deleted through this interface.
    ~IRpcArgument() = default;
};

struct RpcInstanceData;
using RpcInstance = RpcInstanceData *;
struct RpcClientData;
using RpcClient = RpcClientData *;

// Identifies one call in progress until it is completed. 0 is never a token.
using RpcAsyncToken = std::uint64_t;

// (connection id, status, context). Status RPC_CLIENT_CONNECTED when a
// client finished the greeting, RPC_CLIENT_REFUSED when a connection was
// turned away (bad greeting, too many connections).
using RpcClientStateCallback = void (*)(std::uintptr_t connection, int status, void *context);
// (connection id, context): a client that had connected went away.
using RpcClientGoneCallback = void (*)(std::uintptr_t connection, void *context);

enum : int {
    RPC_CLIENT_REFUSED = 0,
    RPC_CLIENT_CONNECTED = 1,
};

// The service description. The field order is fixed; on the 32-bit platform
// the record is 20 bytes and callers fill `size` with 20. The library accepts
// that value as well as sizeof(RpcServiceDesc) and reads nothing else from it.
struct RpcServiceDesc
{
    std::uint32_t size;
    RpcClientStateCallback onClientState;
    void *reserved1;
    RpcClientGoneCallback onClientGone;
    void *reserved2;
};

enum : std::uint32_t { RPC_SERVICE_DESC_SIZE_32 = 20 };

// Interface version a caller of RpcCreateInstance is written against.
enum : int {
    RPC_VERSION_MAJOR = 1,
    RPC_VERSION_MINOR = 1,
};

// Scope of a started service; the only one is the current user.
enum : int { RPC_SCOPE_USER = 1 };

// (context given to RpcCreateInstance, arguments, argument count, token).
// The arguments are valid until the handler returns. The call stays open
// until RpcCompleteAsyncProcedure is given the token, on any thread.
using RpcProcedureHandler = std::function<void(void *context, IRpcArgument **args, int count, RpcAsyncToken token)>;

// Creates a service instance. Null when the major version is not
// RPC_VERSION_MAJOR or the record's size is not one the library knows.
// `desc` may be null (no callbacks); it is copied.
RpcInstance RpcCreateInstance(int versionMajor, int versionMinor, const RpcServiceDesc *desc, void *context);

// Registers a procedure. The signature holds one letter per argument:
// 'I' integer, 'S' string, 'O' list; "" takes no argument. A call whose
// arguments do not match is refused. False for a name already registered,
// an empty name or an unknown letter.
bool RpcRegisterProcedure(RpcInstance instance, const char *name, const RpcProcedureHandler &handler,
                          const char *signature);

// Starts serving under `serviceName` (zero-terminated UTF-16, at most 255
// characters of letters, digits, '.', '_' and '-'). False when the name is
// already served, by this or another process, or cannot be listened on.
bool RpcStartService(RpcInstance instance, const char16_t *serviceName, int scope);

// Stops serving, closes every connection and releases the instance; the
// handle is invalid afterwards. Must not be called from a handler.
bool RpcStopService(RpcInstance instance);

// Completes a call. Procedures return no value: `reply` must be null (a
// value given is dropped with a warning). False for an unknown token (already
// completed, or its connection or service is gone).
bool RpcCompleteAsyncProcedure(RpcAsyncToken token, IRpcArgument *reply);

// Building arguments: RpcArgBegin opens a list, RpcArgAppend moves an item
// into it (the list owns it from then on), RpcArgEnd closes the list, which
// is then an argument of its own. Release what you built with RpcArgFree.
IRpcArgument *RpcArgBegin();
IRpcArgument *RpcArgFrom(const char *text);
IRpcArgument *RpcArgFromInt(int value);
bool RpcArgAppend(IRpcArgument *list, IRpcArgument *item);
bool RpcArgEnd(IRpcArgument *list);
void RpcArgFree(IRpcArgument *argument);

// Client side. RpcConnect returns null when no service of that name answers
// within the time.
RpcClient RpcConnect(const char16_t *serviceName, int timeoutMs);
// Calls a procedure with one argument, or with none when `argument` is null,
// and waits until the service completes it. False when the call could not be
// sent, the service refused it (the service then closes the connection) or
// did not complete it within the time.
bool RpcCall(RpcClient client, const char *procedure, IRpcArgument *argument, int timeoutMs);
void RpcDisconnect(RpcClient client);
