#pragma once
// The scheme words of framework URLs.

#include "maxon/literalid.h"

namespace maxon {

extern const LiteralId URLSCHEME_HANDLER;
extern const LiteralId URLSCHEME_FILESYSTEM;       // "file"
extern const LiteralId URLSCHEME_AUTHORITY;
extern const LiteralId URLSCHEME_RELATIVE;
extern const LiteralId URLSCHEME_VOLUME;
extern const LiteralId URLSCHEME_NETWORK;
extern const LiteralId URLSCHEME_STORAGE;
extern const LiteralId URLSCHEME_ZIPFILE;          // "zip"
extern const LiteralId URLSCHEME_GZIPFILE;         // "gzip"
extern const LiteralId URLSCHEME_MEMORY;
extern const LiteralId URLSCHEME_TCP;
extern const LiteralId URLSCHEME_WS;               // "webSocket"
extern const LiteralId URLSCHEME_WSS;              // "webSocketSecure"
extern const LiteralId URLSCHEME_HTTP;
extern const LiteralId URLSCHEME_HTTPS;
extern const LiteralId URLSCHEME_FTP;
extern const LiteralId URLSCHEME_SFTP;
extern const LiteralId URLSCHEME_PERFORCE;
extern const LiteralId URLSCHEME_CRYPTOFILE;       // "crypto"
extern const LiteralId URLSCHEME_CACHE;
extern const LiteralId URLSCHEME_PIPE;
extern const LiteralId URLSCHEME_STDOUT;
extern const LiteralId URLSCHEME_STDERR;
extern const LiteralId URLSCHEME_STDIN;
extern const LiteralId URLSCHEME_APK_ASSET;        // "apkasset"

}  // namespace maxon
