// Every text the player's window, its settings panel and its self-test show, in one place. Wide
// literals: the window hands them to the platform's wide calls as they are.
#pragma once

namespace patcher::model {

// Window and controls.
inline constexpr wchar_t kTextWindowTitle[] = L"Velmor2 Güncelleyici";
inline constexpr wchar_t kTextProductName[] = L"Velmor2";  // also the text logo
inline constexpr wchar_t kTextCreateFailed[] =
    L"Güncelleyici penceresi açılamadı. Bilgisayarı yeniden başlatıp tekrar deneyin.";
inline constexpr wchar_t kTextPreviousPatcherStillOpen[] =
    L"Güncelleyici yenilendi ama önceki kopyası hâlâ kapanmadı. Bilgisayarı yeniden başlatıp "
    L"güncelleyiciyi yeniden açın.";
inline constexpr wchar_t kTextOptionRefused[] = L"Güncelleyici bu komut satırıyla açılmaz:";
inline constexpr wchar_t kTextPlayAnyway[] = L"Yine de oyna";
inline constexpr wchar_t kTextBrowse[] = L"Gözat\u2026";
inline constexpr wchar_t kTextFolderPrompt[] =
    L"Oyun hangi klasöre kurulsun?\r\nYönetici yetkisi gerekmez.";
inline constexpr wchar_t kTextFolderPickerTitle[] = L"Oyun klasörünü seçin";

// Action button captions.
inline constexpr wchar_t kCaptionWait[] = L"BEKLEYİN";
inline constexpr wchar_t kCaptionInstall[] = L"YÜKLE";
inline constexpr wchar_t kCaptionUpdate[] = L"GÜNCELLE";
inline constexpr wchar_t kCaptionRepair[] = L"ONAR";
inline constexpr wchar_t kCaptionPlay[] = L"OYNA";
inline constexpr wchar_t kCaptionRetry[] = L"TEKRAR DENE";
inline constexpr wchar_t kCaptionPause[] = L"DURAKLAT";
inline constexpr wchar_t kCaptionResume[] = L"DEVAM ET";

// Status texts. A "·" (U+00B7) joins the parts of a detail line.
inline constexpr wchar_t kTextDot[] = L" \u00B7 ";
inline constexpr wchar_t kTextFiles[] = L" dosya";
inline constexpr wchar_t kTextVersion[] = L"Sürüm ";
inline constexpr wchar_t kTextNotWritable[] = L"Bu klasöre yazılamıyor";
inline constexpr wchar_t kTextMoveThePatcher[] =
    L"Güncelleyiciyi Masaüstü ya da Belgeler altında bir klasöre taşıyıp yeniden açın";
inline constexpr wchar_t kTextChecking[] = L"Kontrol ediliyor\u2026";
inline constexpr wchar_t kTextRepairingFiles[] = L"Eksik dosyalar onarılıyor\u2026";
inline constexpr wchar_t kTextRepairKeepsSaves[] = L"Onarma işlemi oyun kaydınızı etkilemez";
inline constexpr wchar_t kTextGameNotInRelease[] = L"Oyun dosyası bu sürümde yok";
inline constexpr wchar_t kTextNotHere[] = L" burada değil; sürümde ";
inline constexpr wchar_t kTextIsThereAs[] = L" olarak var";
inline constexpr wchar_t kTextReleaseVersion[] = L" \u00B7 sürüm ";
inline constexpr wchar_t kTextLogIs[] = L" \u00B7 kayıt: ";
inline constexpr wchar_t kTextRepairingFile[] = L"Eksik dosya onarılıyor: ";
inline constexpr wchar_t kTextMissingFile[] = L"Eksik dosya: ";
inline constexpr wchar_t kTextPatcherStuck[] =
    L"Başlatıcı kendini güncelleyemiyor \u2014 oyun yine de açılır";
inline constexpr wchar_t kTextServerUnreachable[] = L"Sunucuya ulaşılamadı";
inline constexpr wchar_t kTextContinuingOffline[] = L" \u00B7 mevcut sürümle devam";
inline constexpr wchar_t kTextGameUpToDate[] = L"Oyun güncel";
inline constexpr wchar_t kTextFilesVerified[] = L" \u00B7 Dosyalar doğrulandı";
inline constexpr wchar_t kTextUpdateDownloading[] = L"Güncelleme iniyor";
inline constexpr wchar_t kTextFirstInstallLead[] = L"Oyun ilk kez kuruluyor \u2014 ";
inline constexpr wchar_t kTextFirstInstallTail[] = L" iniyor";
inline constexpr wchar_t kTextDamagedLead[] = L"Bazı dosyalar bozuk \u2014 ";
inline constexpr wchar_t kTextDamagedTail[] = L" yeniden iniyor";
inline constexpr wchar_t kTextUpdateLead[] = L"Güncelleme iniyor \u2014 ";
inline constexpr wchar_t kTextDoesNotStay[] = L"Dosyalar indirildi ama diskte kalmıyor";
inline constexpr wchar_t kTextNoSpaceLead[] = L"Yeterli disk alanı yok. En az ";
inline constexpr wchar_t kTextNoSpaceTail[] = L" boş alan gerekiyor.";
inline constexpr wchar_t kTextNeeded[] = L"gereken ";
inline constexpr wchar_t kTextFree[] = L" \u00B7 boş ";
inline constexpr wchar_t kTextDownloading[] = L"İndiriliyor\u2026";
// A paused download: how much is still to fetch, and how to carry on.
inline constexpr wchar_t kTextPausedLead[] = L"İndirme duraklatıldı \u2014 ";
inline constexpr wchar_t kTextPausedTail[] = L" kaldı";
inline constexpr wchar_t kTextPausedDetail[] = L"Kaldığı yerden sürdürmek için DEVAM ET'e basın";
// The speed and time left under a running download.
inline constexpr wchar_t kTextPerSecond[] = L"/s";
inline constexpr wchar_t kTextAbout[] = L"yaklaşık ";
inline constexpr wchar_t kTextSecondsLeft[] = L" sn kaldı";
inline constexpr wchar_t kTextMinutesLeft[] = L" dk kaldı";
inline constexpr wchar_t kTextHours[] = L" sa";
inline constexpr wchar_t kTextHoursLeft[] = L" sa kaldı";
inline constexpr wchar_t kTextOverADayLeft[] = L"1 günden fazla kaldı";
// A download that failed: what happened and what the player can do, then the file's reason.
inline constexpr wchar_t kTextDownloadCut[] =
    L"İndirme yarıda kaldı. Bağlantınızı kontrol edip TEKRAR DENE'ye basın.";
inline constexpr wchar_t kTextDiskFilledUp[] =
    L"Disk doldu. Oyunun sürücüsünde yer açıp TEKRAR DENE'ye basın.";
inline constexpr wchar_t kTextFolderRefusesFile[] =
    L"Oyun klasörüne yazılamıyor. Güncelleyiciyi başka bir klasöre taşıyın.";
inline constexpr wchar_t kTextDownloadDoesNotMatch[] =
    L"İnen dosya sürümle uyuşmuyor. TEKRAR DENE'ye basın; sürerse bildirin.";
inline constexpr wchar_t kTextDownloadNotSaved[] =
    L"İnen dosya kaydedilemedi. Güncelleyiciyi kapatıp yeniden açın.";
inline constexpr wchar_t kTextServerAnsweredLead[] = L"sunucu ";
inline constexpr wchar_t kTextServerAnsweredTail[] = L" yanıtı verdi";
inline constexpr wchar_t kTextReasonNoConnection[] = L"sunucuya bağlanılamadı";
inline constexpr wchar_t kTextReasonTls[] = L"güvenli bağlantı kurulamadı";
inline constexpr wchar_t kTextReasonTimeout[] = L"sunucu zamanında yanıt vermedi";
inline constexpr wchar_t kTextReasonCut[] = L"bağlantı yarıda kesildi";
inline constexpr wchar_t kTextReasonBadAnswer[] = L"sunucunun yanıtı kullanılamadı";
inline constexpr wchar_t kTextReasonProxyAuth[] = L"proxy kimlik doğrulaması istedi (407)";
inline constexpr wchar_t kTextReasonDiskFull[] = L"disk dolu";
inline constexpr wchar_t kTextReasonRefused[] = L"bu konuma yazılamıyor";
inline constexpr wchar_t kTextReasonMismatch[] = L"içerik doğrulanamadı";
inline constexpr wchar_t kTextReasonLocal[] = L"dosya diske yazılamadı";
inline constexpr wchar_t kTextPatcherNotRenewed[] =
    L"Güncelleyici yenilenemedi. Güncelleyiciyi kapatıp yeniden açın.";
inline constexpr wchar_t kTextPatcherRenewInterrupted[] =
    L"Güncelleyici yenilenirken kesinti oldu. Resmî sitemizden yeniden indirip aynı klasöre kurun "
    L"\u2014 indirdiğiniz oyun dosyaları yerinde kalır, baştan inmez.";
inline constexpr wchar_t kTextStartingGame[] = L"Oyun başlatılıyor\u2026";
inline constexpr wchar_t kTextGameDidNotStart[] =
    L"Oyun açılamadı. Dosyalar eksik olabilir \u2014 Onar ile deneyin.";
inline constexpr wchar_t kTextChooseFolder[] = L"Bir klasör seçin.";
inline constexpr wchar_t kTextDriveUnreadable[] =
    L"Seçtiğiniz sürücü okunamadı. Başka bir klasör seçin.";
inline constexpr wchar_t kTextDriveTooFullLead[] = L"Bu sürücüde yeterli boş alan yok (";
inline constexpr wchar_t kTextDriveTooFullTail[] = L" boş). Başka bir sürücüde klasör seçin.";
inline constexpr wchar_t kTextFolderNotMade[] =
    L"Bu klasör oluşturulamadı. Belgeler altında bir klasör seçin.";
inline constexpr wchar_t kTextSyncedFolder[] =
    L"Oyun klasörü OneDrive/Dropbox gibi bir eşitleme klasöründe; C:\\Velmor2 gibi bir yere "
    L"taşıyın";
inline constexpr wchar_t kTextFilesRevert[] =
    L"Değiştirilen dosya eski hâline dönüyor (antivirüs veya eşitleme yazılımı olabilir)";
inline constexpr wchar_t kTextReady[] = L"Hazır";  // an empty headline

// Painting.
inline constexpr wchar_t kTextTitle[] = L"BAŞLATICI";
inline constexpr wchar_t kGlyphSettings[] = L"\u2699";
inline constexpr wchar_t kGlyphMinimise[] = L"\u2014";
inline constexpr wchar_t kGlyphClose[] = L"\u2715";
inline constexpr wchar_t kTextAnnouncementsTab[] = L"DUYURULAR";
inline constexpr wchar_t kTextUpdatesTab[] = L"GÜNCELLEMELER";
inline constexpr wchar_t kTextNoAnnouncements[] = L"Şu an duyuru yok.";
inline constexpr wchar_t kTextNoChangeNotes[] = L"Bu sürümde değişiklik notu yok.";
inline constexpr wchar_t kTextListTruncated[] = L"Listenin tamamı gösterilemiyor.";

// Settings panel.
inline constexpr wchar_t kTextSettingsHeading[] = L"AYARLAR";
inline constexpr wchar_t kTextOn[] = L"AÇIK";
inline constexpr wchar_t kTextOff[] = L"KAPALI";
inline constexpr wchar_t kTextBy[] = L" \u00D7 ";
inline constexpr wchar_t kTextNoModes[] = L"\u2014";
inline constexpr wchar_t kTextOutOf[] = L" / ";
inline constexpr wchar_t kArrowLeft[] = L"\u2039";
inline constexpr wchar_t kArrowRight[] = L"\u203A";
inline constexpr wchar_t kTextSave[] = L"KAYDET";
// The patcher's own row, kept in patcher.cfg rather than garun2.cfg.
inline constexpr wchar_t kTextDownloadLimitRow[] = L"İndirme hızı sınırı";
inline constexpr wchar_t kTextNoDownloadLimit[] = L"Sınırsız";
inline constexpr const wchar_t* kTextSettingRows[] = {L"Tam ekran", L"Çözünürlük", L"Parlaklık",
                                                      L"Yazılım imleci", kTextDownloadLimitRow};
inline constexpr wchar_t kTextFullScreenNote[] =
    L"Tam ekranda oyun ekranın kendi çözünürlüğünü kullanır. Aşağıdaki çözünürlük pencere modu "
    L"içindir.";
inline constexpr wchar_t kTextNextStartNote[] =
    L"Değişiklikler oyunun bir sonraki açılışında geçerli olur.";
inline constexpr wchar_t kTextSettingsUnreadable[] = L"Ayar dosyası okunamadı.";
inline constexpr wchar_t kTextSettingsSaved[] = L"Ayarlar kaydedildi.";
inline constexpr wchar_t kTextSettingsNotSaved[] = L"Ayarlar kaydedilemedi.";
inline constexpr wchar_t kTextSettingsTooLarge[] =
    L"Ayar dosyası çok büyük; değişiklik kaydedilmedi.";

// UI self-test.
inline constexpr wchar_t kTextSampleVersion[] = L"0.9.0";
inline constexpr wchar_t kTextSomeFilesMissing[] = L"Bazı oyun dosyaları eksik";
inline constexpr wchar_t kTextButtonGot[] = L"  buton=";
inline constexpr wchar_t kTextButtonExpected[] = L" beklenen=";
inline constexpr wchar_t kTextPaths[] = L" yol";  // after the number of paths
inline constexpr wchar_t kTextNotDecoded[] = L"cozulmedi";
inline constexpr wchar_t kScenarioChecking[] = L"kontrol ediliyor";
inline constexpr wchar_t kScenarioNoGame[] = L"oyun hic yok";
inline constexpr wchar_t kScenarioMissing[] = L"eksik dosya var";
inline constexpr wchar_t kScenarioDamaged[] = L"bozuk dosya var";
inline constexpr wchar_t kScenarioDamagedAndMissing[] = L"bozuk + eksik birlikte";
inline constexpr wchar_t kScenarioAllGood[] = L"her sey tamam";
inline constexpr wchar_t kScenarioSignatureError[] = L"hata (imza)";
inline constexpr wchar_t kScenarioExeNotInRelease[] = L"exe surumde yok";

}  // namespace patcher::model
