// The network calls on Windows: Winsock for the connection, SChannel (through
// SSPI) for TLS, and the system's certificate chain engine for the check of
// the server's certificate, which SChannel is told to leave to us so that
// the refusal can name its reason and the certificate.
#include "platform/net_stream.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS
#include <subauth.h>
#include <security.h>
#include <schannel.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system_facts.h"

struct NetStream {
  SOCKET Socket;
  int TimeoutMs;  // Connect's limit, which also bounds the handshake and each send
  bool HasCredentials, HasContext, Tls;
  CredHandle Credentials;
  CtxtHandle Context;
  SecPkgContext_StreamSizes Sizes;
  std::vector<char> Incoming;  // received from the server, not yet decrypted
  std::string Plain;           // decrypted, not yet handed over
  bool Ended;                  // the server's close_notify came
};

namespace {

// The handshake's own failure when the server does not answer in time.
const SECURITY_STATUS NoAnswer = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
// SSL_EXTRA_CERT_CHAIN_POLICY_PARA's checks left out when our own
// authorities anchor the chain, and when we match a numeric address
// ourselves (WinINet's SECURITY_FLAG_IGNORE_UNKNOWN_CA and _CERT_CN_INVALID).
const DWORD IgnoreUnknownAuthority = 0x00000100, IgnoreWrongName = 0x00001000;

void Say(NetProblem *problem, const char *format, ...) {
  if (!problem) return;
  va_list args;
  va_start(args, format);
  vsnprintf(problem->Reason, sizeof problem->Reason, format, args);
  va_end(args);
}

std::wstring Wide(const char *text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? size_t(length) : 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
  wide.resize(wide.size() - 1);
  return wide;
}

bool SocketsReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

// Milliseconds left until `deadline` (a GetTickCount64 time), never below 0.
int Left(ULONGLONG deadline) {
  ULONGLONG now = GetTickCount64();
  return now >= deadline ? 0 : int(deadline - now);
}

// Waits until the socket can be read (or written), at most `ms`.
bool Wait(SOCKET socket, bool write, int ms) {
  fd_set set, failed;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  FD_ZERO(&failed);
  FD_SET(socket, &failed);
  timeval limit = {ms / 1000, (ms % 1000) * 1000};
  // A refused non-blocking connect shows in the exception set, not the write set.
  return select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &limit) > 0;
}

bool SendRaw(SOCKET socket, const char *bytes, size_t size) {
  while (size > 0) {
    int sent = send(socket, bytes, int(size < 0x10000000 ? size : 0x10000000), 0);
    if (sent <= 0) return false;
    bytes += sent;
    size -= size_t(sent);
  }
  return true;
}

// Appends what the server sends next to `stream->Incoming`, waiting at most
// `ms`: the count, 0 when it closed, -1 on a failure or when the time ran out.
long ReceiveRaw(NetStream *stream, int ms) {
  if (!Wait(stream->Socket, false, ms)) return -1;
  char chunk[16384];
  int got = recv(stream->Socket, chunk, sizeof chunk, 0);
  if (got > 0) stream->Incoming.insert(stream->Incoming.end(), chunk, chunk + got);
  return got < 0 ? -1 : got;
}

NetStream *Connect(const char *host, uint16_t port, int timeout_ms, NetProblem *problem) {
  if (problem) *problem = NetProblem{};
  if (!SocketsReady()) {
    Say(problem, "the system's network calls cannot be started");
    return nullptr;
  }
  addrinfo hints = {}, *found = nullptr;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  char service[8];
  snprintf(service, sizeof service, "%u", unsigned(port));
  if (int error = getaddrinfo(host, service, &hints, &found)) {
    Say(problem, "cannot find %s: %s", host, SystemErrorText(error).c_str());
    return nullptr;
  }
  ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeout_ms < 0 ? 0 : timeout_ms);
  SOCKET socket_ = INVALID_SOCKET;
  int error = 0;
  bool timed_out = false;
  // Every address the name has, until one answers within the time left.
  for (addrinfo *at = found; at && socket_ == INVALID_SOCKET; at = at->ai_next) {
    SOCKET tried = socket(at->ai_family, at->ai_socktype, at->ai_protocol);
    if (tried == INVALID_SOCKET) {
      error = WSAGetLastError();
      continue;
    }
    u_long on = 1, off = 0;
    ioctlsocket(tried, FIONBIO, &on);  // so that the wait has our limit, not the system's
    bool joined = connect(tried, at->ai_addr, int(at->ai_addrlen)) == 0;
    if (!joined && WSAGetLastError() == WSAEWOULDBLOCK) {
      if (Wait(tried, true, Left(deadline))) {
        int status = 0, size = sizeof status;
        getsockopt(tried, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&status), &size);
        joined = status == 0;
        error = status;
      } else {
        timed_out = true;
      }
    } else if (!joined) {
      error = WSAGetLastError();
    }
    if (joined && ioctlsocket(tried, FIONBIO, &off) == 0) {
      socket_ = tried;
    } else {
      closesocket(tried);
    }
  }
  freeaddrinfo(found);
  // The caller names the server and the port: the reason is the system's.
  if (socket_ == INVALID_SOCKET) {
    if (timed_out && error == 0)
      Say(problem, "no answer within %d s", (timeout_ms + 999) / 1000);
    else
      Say(problem, "%s", SystemErrorText(error).c_str());
    return nullptr;
  }
  // The time is for the server to take the next bytes, as it is for an answer.
  DWORD send_limit = DWORD(timeout_ms > 0 ? timeout_ms : 0);
  setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&send_limit), sizeof send_limit);
  // The commands are gathered before they go: no need to hold small ones back.
  BOOL no_delay = TRUE;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&no_delay), sizeof no_delay);
  NetStream *stream = new NetStream{};
  stream->Socket = socket_;
  stream->TimeoutMs = timeout_ms;
  return stream;
}

// Credentials for a client that checks the server itself. SCH_CREDENTIALS
// first (Windows 10 1809 and later, where it is the only way to TLS 1.3),
// then the older SCHANNEL_CRED that every Windows and Wine take.
SECURITY_STATUS AcquireCredentials(NetStream *stream) {
  const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  SCH_CREDENTIALS modern = {};
  modern.dwVersion = SCH_CREDENTIALS_VERSION;
  modern.dwFlags = flags;
  SECURITY_STATUS status =
      AcquireCredentialsHandleW(nullptr, const_cast<wchar_t *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                &modern, nullptr, nullptr, &stream->Credentials, nullptr);
  if (status != SEC_E_OK) {
    SCHANNEL_CRED older = {};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = flags;
    status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                       nullptr, &older, nullptr, nullptr, &stream->Credentials, nullptr);
  }
  stream->HasCredentials = status == SEC_E_OK;
  return status;
}

const DWORD ContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

// Sends the token the last call of the handshake made, and frees it.
bool SendToken(NetStream *stream, SecBuffer *token) {
  bool sent = true;
  if (token->pvBuffer) {
    sent = SendRaw(stream->Socket, static_cast<const char *>(token->pvBuffer), token->cbBuffer);
    FreeContextBuffer(token->pvBuffer);
    token->pvBuffer = nullptr;
  }
  return sent;
}

// Runs the handshake, from its first message or, after a renegotiation,
// with what `stream->Incoming` holds, until the context is made. Bytes the
// server sent after the handshake stay in `Incoming`.
SECURITY_STATUS Handshake(NetStream *stream, const wchar_t *target, bool first) {
  ULONGLONG deadline = GetTickCount64() + ULONGLONG(stream->TimeoutMs < 0 ? 0 : stream->TimeoutMs);
  for (;;) {
    SecBuffer in[2] = {{ULONG(stream->Incoming.size()), SECBUFFER_TOKEN, stream->Incoming.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc in_desc = {SECBUFFER_VERSION, 2, in}, out_desc = {SECBUFFER_VERSION, 1, out};
    ULONG attributes = 0;
    SECURITY_STATUS status = InitializeSecurityContextW(
        &stream->Credentials, first ? nullptr : &stream->Context, const_cast<wchar_t *>(target), ContextFlags,
        0, 0, first ? nullptr : &in_desc, 0, first ? &stream->Context : nullptr, &out_desc, &attributes, nullptr);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) stream->HasContext = true;
    first = false;
    // A token goes even with a failure: it is the alert that tells the server why.
    if (!SendToken(stream, &out[0]) && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED))
      return SEC_E_INTERNAL_ERROR;
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      long got = ReceiveRaw(stream, Left(deadline));
      if (got <= 0) return got == 0 ? SEC_E_CONTEXT_EXPIRED : NoAnswer;
      continue;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) return status;
    // What the call did not read is the start of the next message.
    if (in[1].BufferType == SECBUFFER_EXTRA)
      stream->Incoming.erase(stream->Incoming.begin(), stream->Incoming.end() - in[1].cbBuffer);
    else
      stream->Incoming.clear();
    if (status == SEC_E_OK) return status;
    if (stream->Incoming.empty()) {
      long got = ReceiveRaw(stream, Left(deadline));
      if (got <= 0) return got == 0 ? SEC_E_CONTEXT_EXPIRED : NoAnswer;
    }
  }
}

void Fingerprint(PCCERT_CONTEXT certificate, char *out, size_t out_size) {
  BYTE hash[32];
  DWORD size = sizeof hash;
  out[0] = 0;
  if (!CryptHashCertificate2(L"SHA256", 0, nullptr, certificate->pbCertEncoded, certificate->cbCertEncoded,
                             hash, &size) ||
      size != sizeof hash || out_size < 3 * sizeof hash)
    return;
  for (DWORD i = 0; i < size; ++i) snprintf(out + 3 * i, 4, i + 1 < size ? "%02X:" : "%02X", hash[i]);
}

// The certificates of a PEM file, in a store of their own: null, with the
// reason, when the file cannot be read or holds none.
HCERTSTORE AuthoritiesOf(const char *path, NetProblem *problem) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Say(problem, "%s: cannot be read: %s", path, SystemErrorText(int(GetLastError())).c_str());
    return nullptr;
  }
  std::string text;
  char chunk[8192];
  DWORD got = 0;
  // An authorities file is small; a huge one is not one.
  while (text.size() < (8u << 20) && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
    text.append(chunk, got);
  CloseHandle(file);
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!store) {
    Say(problem, "%s: %s", path, SystemErrorText(int(GetLastError())).c_str());
    return nullptr;
  }
  static const char begin[] = "-----BEGIN CERTIFICATE-----", end[] = "-----END CERTIFICATE-----";
  int count = 0;
  for (size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
    size_t stop = text.find(end, at);
    if (stop == std::string::npos) break;
    stop += sizeof end - 1;
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.data() + at, DWORD(stop - at), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (CryptStringToBinaryA(text.data() + at, DWORD(stop - at), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                             nullptr, nullptr) &&
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS,
                                         nullptr))
      ++count;
  }
  if (count == 0) {
    Say(problem, "%s: holds no certificate in PEM form", path);
    CertCloseStore(store, 0);
    return nullptr;
  }
  return store;
}

// Whether the chain passes through a certificate of `authorities`: that one
// is then its anchor, as the system's roots are otherwise.
bool AnchoredIn(PCCERT_CHAIN_CONTEXT chain, HCERTSTORE authorities) {
  const CERT_SIMPLE_CHAIN *simple = chain->rgpChain[0];
  for (DWORD i = 0; i < simple->cElement; ++i) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(authorities, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                      simple->rgpElement[i]->pCertContext, nullptr);
    if (found) {
      CertFreeCertificateContext(found);
      return true;
    }
  }
  return false;
}

// The bytes of `name` when it is a numeric address (4 or 16 of them), else 0.
DWORD NumericAddress(const char *name, BYTE *bytes) {
  in_addr v4;
  in6_addr v6;
  if (inet_pton(AF_INET, name, &v4) == 1) return memcpy(bytes, &v4, 4), 4;
  if (inet_pton(AF_INET6, name, &v6) == 1) return memcpy(bytes, &v6, 16), 16;
  return 0;
}

// Whether the certificate names the address among its alternative names,
// the only place an address may be named. The system's policy is not asked:
// Wine's matches no addresses at all.
bool CarriesAddress(PCCERT_CONTEXT certificate, const BYTE *bytes, DWORD size) {
  const CERT_INFO *info = certificate->pCertInfo;
  PCERT_EXTENSION names = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  CERT_ALT_NAME_INFO *decoded = nullptr;
  DWORD decoded_size = 0;
  if (!names || !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, names->Value.pbData,
                                     names->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &decoded_size))
    return false;
  bool found = false;
  for (DWORD i = 0; i < decoded->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY &entry = decoded->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == size &&
            memcmp(entry.IPAddress.pbData, bytes, size) == 0;
  }
  LocalFree(decoded);
  return found;
}

// The policy's error for what the chain engine found wrong, 0 for nothing.
long ChainError(DWORD status) {
  if (status == 0) return 0;
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
  if (status & CERT_TRUST_IS_REVOKED) return CERT_E_REVOKED;
  if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return CERT_E_WRONG_USAGE;
  if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return TRUST_E_CERT_SIGNATURE;
  if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) return CERT_E_UNTRUSTEDROOT;
  return CERT_E_CHAINING;
}

// Checks the server's certificate as the system checks a web site's: its
// chain to a trusted authority (those of `check.CaFile`, or the system's),
// its dates, its use and its name. False with the reason in user's words.
bool CertificateAccepted(PCCERT_CONTEXT certificate, const TlsCheck &check, NetProblem *problem) {
  HCERTSTORE authorities = nullptr;
  if (check.CaFile && *check.CaFile && !(authorities = AuthoritiesOf(check.CaFile, problem))) return false;
  // The server's own intermediates and the file's authorities help build
  // the chain; the file's are trusted below, not by the engine. (An engine
  // with hExclusiveRoot would say the same, but Windows 7 and Wine lack it.)
  HCERTSTORE helpers = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (helpers) {
    if (certificate->hCertStore) CertAddStoreToCollection(helpers, certificate->hCertStore, 0, 0);
    if (authorities) CertAddStoreToCollection(helpers, authorities, 0, 0);
  }
  char *server_use = const_cast<char *>(szOID_PKIX_KP_SERVER_AUTH);
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = &server_use;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool accepted = false;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, helpers, &para, 0, nullptr, &chain)) {
    Say(problem, "the server's certificate cannot be checked: %s", SystemErrorText(int(GetLastError())).c_str());
  } else if (authorities && !AnchoredIn(chain, authorities)) {
    Say(problem, "the server's certificate is not signed by an authority of %s", check.CaFile);
  } else {
    const char *name = check.HostName ? check.HostName : "";
    std::wstring wide = Wide(name);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    // With a file, its authority is the anchor, which the system does not know.
    ssl.fdwChecks = authorities ? IgnoreUnknownAuthority : 0;
    BYTE address[16];
    DWORD address_size = NumericAddress(name, address);
    if (address_size) ssl.fdwChecks |= IgnoreWrongName;
    ssl.pwszServerName = &wide[0];
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    // The chain's own verdict counts too: Wine's policy passes a chain
    // that ends short of any root.
    DWORD allowed = authorities ? CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN : 0;
    long error = ChainError(chain->TrustStatus.dwErrorStatus & ~allowed);
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
      Say(problem, "the server's certificate cannot be checked: %s", SystemErrorText(int(GetLastError())).c_str());
    } else {
      if (status.dwError != 0) error = long(status.dwError);
      if (error == 0 && address_size && !CarriesAddress(certificate, address, address_size))
        error = CERT_E_CN_NO_MATCH;
      switch (error) {
      case 0: accepted = true; break;
      case CERT_E_EXPIRED:
        Say(problem, "the server's certificate (or one that signed it) has expired or is not valid yet");
        break;
      case CERT_E_UNTRUSTEDROOT:
      case CERT_E_CHAINING:
        Say(problem, "the server's certificate is not signed by an authority this computer trusts");
        break;
      case CERT_E_CN_NO_MATCH:
        Say(problem, "the server's certificate is not for the name %s", name);
        break;
      case CERT_E_WRONG_USAGE:
        Say(problem, "the server's certificate is not meant for a server");
        break;
      case CERT_E_REVOKED:
        Say(problem, "the server's certificate has been revoked");
        break;
      default:
        Say(problem, "the server's certificate is refused: %s", SystemErrorText(int(error)).c_str());
      }
    }
  }
  if (chain) CertFreeCertificateChain(chain);
  if (helpers) CertCloseStore(helpers, 0);
  if (authorities) CertCloseStore(authorities, 0);
  return accepted;
}

bool StartTls(NetStream *stream, const TlsCheck &check, NetProblem *problem) {
  if (problem) *problem = NetProblem{};
  SECURITY_STATUS status = AcquireCredentials(stream);
  if (status != SEC_E_OK) {
    Say(problem, "TLS cannot be started: %s", SystemErrorText(int(status)).c_str());
    return false;
  }
  const char *name = check.HostName ? check.HostName : "";
  std::wstring target = Wide(name);
  // The target name is what SChannel sends as the server's name (SNI),
  // which an address is not.
  BYTE address[16];
  status = Handshake(stream, NumericAddress(name, address) ? nullptr : target.c_str(), true);
  if (status != SEC_E_OK) {
    if (status == NoAnswer)
      Say(problem, "the TLS handshake got no answer within %d s", (stream->TimeoutMs + 999) / 1000);
    else if (status == SEC_E_CONTEXT_EXPIRED)
      Say(problem, "the server closed the connection during the TLS handshake");
    else
      Say(problem, "the TLS handshake failed: %s", SystemErrorText(int(status)).c_str());
    return false;
  }
  PCCERT_CONTEXT certificate = nullptr;
  status = QueryContextAttributesW(&stream->Context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
  if (status != SEC_E_OK || !certificate) {
    Say(problem, "the server sent no certificate");
    return false;
  }
  if (problem) Fingerprint(certificate, problem->Fingerprint, sizeof problem->Fingerprint);
  bool accepted = CertificateAccepted(certificate, check, problem);
  CertFreeCertificateContext(certificate);
  if (!accepted) return false;
  if (QueryContextAttributesW(&stream->Context, SECPKG_ATTR_STREAM_SIZES, &stream->Sizes) != SEC_E_OK) {
    Say(problem, "TLS cannot be started: the record sizes are unknown");
    return false;
  }
  if (problem) *problem = NetProblem{};
  stream->Tls = true;
  return true;
}

bool Send(NetStream *stream, const void *bytes, size_t size) {
  const char *from = static_cast<const char *>(bytes);
  if (!stream->Tls) return SendRaw(stream->Socket, from, size);
  const SecPkgContext_StreamSizes &sizes = stream->Sizes;
  std::vector<char> record(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer);
  while (size > 0) {
    ULONG part = ULONG(size < sizes.cbMaximumMessage ? size : sizes.cbMaximumMessage);
    memcpy(record.data() + sizes.cbHeader, from, part);
    SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                            {part, SECBUFFER_DATA, record.data() + sizes.cbHeader},
                            {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + part},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&stream->Context, 0, &desc, 0) != SEC_E_OK ||
        !SendRaw(stream->Socket, record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer))
      return false;
    from += part;
    size -= part;
  }
  return true;
}

// Decrypts the records `stream->Incoming` holds whole into `stream->Plain`.
// False on a failure; the server's close_notify sets `Ended`.
bool DecryptWhole(NetStream *stream) {
  while (!stream->Incoming.empty() && !stream->Ended) {
    SecBuffer buffers[4] = {{ULONG(stream->Incoming.size()), SECBUFFER_DATA, stream->Incoming.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    // Below TLS 1.3 a record's kind is in the clear: 21, an alert.
    const bool alert = uint8_t(stream->Incoming[0]) == 21;
    const size_t plain_before = stream->Plain.size();
    SECURITY_STATUS status = DecryptMessage(&stream->Context, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return true;
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) return false;
    size_t extra = 0;
    for (SecBuffer &buffer : buffers) {
      if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0)
        stream->Plain.append(static_cast<const char *>(buffer.pvBuffer), buffer.cbBuffer);
      if (buffer.BufferType == SECBUFFER_EXTRA) extra = buffer.cbBuffer;
    }
    // Decrypted in place: the bytes not yet read are the buffer's last ones.
    stream->Incoming.erase(stream->Incoming.begin(), stream->Incoming.end() - extra);
    // Wine's SChannel takes the server's close_notify as an empty record,
    // where Windows says SEC_I_CONTEXT_EXPIRED.
    if (status == SEC_I_CONTEXT_EXPIRED || (alert && status == SEC_E_OK && stream->Plain.size() == plain_before))
      stream->Ended = true;
    // The server asks for a new handshake, or sends TLS 1.3's tickets and key
    // updates: the handshake goes on from the bytes after the record.
    if (status == SEC_I_RENEGOTIATE && Handshake(stream, nullptr, false) != SEC_E_OK) return false;
  }
  return true;
}

long Receive(NetStream *stream, void *buffer, size_t size, int timeout_ms) {
  ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeout_ms < 0 ? 0 : timeout_ms);
  if (!stream->Tls) {
    if (!Wait(stream->Socket, false, timeout_ms)) return -1;
    int got = recv(stream->Socket, static_cast<char *>(buffer), int(size < 0x10000000 ? size : 0x10000000), 0);
    return got < 0 ? -1 : got;
  }
  while (stream->Plain.empty()) {
    if (stream->Ended) return 0;
    if (!DecryptWhole(stream)) return -1;
    if (!stream->Plain.empty() || stream->Ended) continue;
    long got = ReceiveRaw(stream, Left(deadline));
    if (got == 0) return stream->Incoming.empty() ? 0 : -1;  // cut inside a record
    if (got < 0) return -1;
  }
  size_t count = size < stream->Plain.size() ? size : stream->Plain.size();
  memcpy(buffer, stream->Plain.data(), count);
  stream->Plain.erase(0, count);
  return long(count);
}

// Tells the server TLS ends (close_notify), as well as it can.
void EndTls(NetStream *stream) {
  DWORD kind = SCHANNEL_SHUTDOWN;
  SecBuffer control = {sizeof kind, SECBUFFER_TOKEN, &kind};
  SecBufferDesc control_desc = {SECBUFFER_VERSION, 1, &control};
  if (ApplyControlToken(&stream->Context, &control_desc) != SEC_E_OK) return;
  SecBuffer out = {0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc out_desc = {SECBUFFER_VERSION, 1, &out};
  ULONG attributes = 0;
  SECURITY_STATUS status = InitializeSecurityContextW(&stream->Credentials, &stream->Context, nullptr, ContextFlags,
                                                      0, 0, nullptr, 0, nullptr, &out_desc, &attributes, nullptr);
  if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) SendToken(stream, &out);
  else if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
}

void Close(NetStream *stream) {
  if (!stream) return;
  if (stream->Tls && !stream->Ended) EndTls(stream);
  if (stream->HasContext) DeleteSecurityContext(&stream->Context);
  if (stream->HasCredentials) FreeCredentialsHandle(&stream->Credentials);
  closesocket(stream->Socket);
  delete stream;
}

}  // namespace

const NetCalls SystemNetCalls = {Connect, StartTls, Send, Receive, Close};
NetCalls Net = SystemNetCalls;
