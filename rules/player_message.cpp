#include "rules/player_message.h"

namespace patcher::rules {

std::string PlayerMessage(StatusCode code) {
    switch (code) {
        case StatusCode::Ok:
            return "Dosyalar doğrulandı, oyun başlatılabilir.";
        case StatusCode::BadInput:
            return "Güncelleyicide bir sorun var. Resmî sitemizden yeniden indirin.";
        case StatusCode::BadSignature:
            return "Sunucudan gelen dosyalar doğrulanamadı. Başka bir internet bağlantısıyla "
                   "deneyin; sürerse bize bildirin.";
        case StatusCode::Rollback:
            return "Sunucudan eski bir sürüm geliyor. Güncelleyiciyi kapatıp yeniden açın; "
                   "sürerse bize bildirin.";
        case StatusCode::Expired:
            return "Bilgisayarınızın tarihi yanlış görünüyor. Tarih ve saati kontrol edip tekrar "
                   "deneyin.";
        case StatusCode::RevokedKey:
        case StatusCode::BadFormat:
            return "Güncelleme bilgisi okunamadı. Güncelleyiciyi kapatıp yeniden açın.";
        case StatusCode::ContentMismatch:
            return "Bazı oyun dosyaları eksik ya da bozuk. Onar ile yeniden indirilecek.";
    }
    return "Beklenmeyen bir durum oluştu. Güncelleyiciyi yeniden açın.";
}

std::string ProxyAuthPlayerMessage() {
    return "Proxy sunucusu kimlik doğrulaması istiyor. Windows'taki proxy ayarlarınızı kontrol "
           "edin.";
}

std::string UnreachablePlayerMessage() {
    return "Sunucuya bağlanılamıyor. İnternet bağlantınızı kontrol edip tekrar deneyin.";
}

}  // namespace patcher::rules
