// URL scheme words: constant data whose release is registered at exit, in this order.
#include "maxon/urlscheme.h"

#include "maxon/translationunit.h"

FW_CORE_TRANSLATION_UNIT()

namespace maxon {

constinit const LiteralId URLSCHEME_HANDLER{"handler"};
constinit const LiteralId URLSCHEME_FILESYSTEM{"file"};
constinit const LiteralId URLSCHEME_AUTHORITY{"authority"};
constinit const LiteralId URLSCHEME_RELATIVE{"relative"};
constinit const LiteralId URLSCHEME_VOLUME{"volume"};
constinit const LiteralId URLSCHEME_NETWORK{"network"};
constinit const LiteralId URLSCHEME_STORAGE{"storage"};
constinit const LiteralId URLSCHEME_ZIPFILE{"zip"};
constinit const LiteralId URLSCHEME_GZIPFILE{"gzip"};
constinit const LiteralId URLSCHEME_MEMORY{"memory"};
constinit const LiteralId URLSCHEME_TCP{"tcp"};
constinit const LiteralId URLSCHEME_WS{"webSocket"};
constinit const LiteralId URLSCHEME_WSS{"webSocketSecure"};
constinit const LiteralId URLSCHEME_HTTP{"http"};
constinit const LiteralId URLSCHEME_HTTPS{"https"};
constinit const LiteralId URLSCHEME_FTP{"ftp"};
constinit const LiteralId URLSCHEME_SFTP{"sftp"};
constinit const LiteralId URLSCHEME_PERFORCE{"perforce"};
constinit const LiteralId URLSCHEME_CRYPTOFILE{"crypto"};
constinit const LiteralId URLSCHEME_CACHE{"cache"};
constinit const LiteralId URLSCHEME_PIPE{"pipe"};
constinit const LiteralId URLSCHEME_STDOUT{"stdout"};
constinit const LiteralId URLSCHEME_STDERR{"stderr"};
constinit const LiteralId URLSCHEME_STDIN{"stdin"};
constinit const LiteralId URLSCHEME_APK_ASSET{"apkasset"};

}  // namespace maxon
