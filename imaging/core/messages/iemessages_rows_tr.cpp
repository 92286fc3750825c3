// Turkish captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillTurkishMessages() {
  static const char16_t* const kTexts[] = {
      u"Yakınlaştır", u"Önizleme", u"Orijinal", u"Sonuç", u"Tamam", u"İptal",
      u"Önizlemeyi kilitle", u"Sonucu orijinale kopyala", u"Karşıtlık", u"Parlaklık",
      // 10
      u"Ton", u"Doygunluk", u"Değer", u"Temel renk", u"Yeni renk", u"Işıklılık", u"Kırmızı",
      u"Yeşil", u"Mavi", u"Filtre değerleri",
      // 20
      u"Hazır ayarlar", u"Bölen", u"Yükle", u"Kaydet", u"Eşitleme", u"Eşik", u"Eşitle",
      u"Histogram", u"Gri", u"Işık",
      // 30
      u"Sol", u"Üst", u"Genişlik", u"Yükseklik", u"Renk", u"Özgün görüntü oranı", u"Mercek",
      u"Kırılma", u"Parametre önizlemesi", u"Kalite",
      // 40
      u"DCT yöntemi", u"Yumuşatma katsayısı", u"Gri tonlama", u"En iyi Huffman",
      u"Özgün boyut", u"Sıkıştırılmış boyut", u"Gelişmiş", u"Aşamalı", u"Sıkıştırma",
      u"Görüntü dizini",
      // 50
      u"Fotometrik", u"Taranan belge bilgisi", u"Ad", u"Açıklama", u"Sayfa adı",
      u"Sayfa numarası", u"/", u"Yatay konum (inç)", u"Dikey konum (inç)", u"Renkler",
      // 60
      u"Saydam", u"Saydam renk", u"Geçmeli", u"Arka plan", u"Yatay konum", u"Dikey konum",
      u"Gecikme süresi", u"Filtre", u"Dalga", u"Genlik",
      // 70
      u"Dalga boyu", u"Faz", u"Yansıtıcı", u"Kullanıcı filtresi", u"Morfolojik filtreler",
      u"Pencere boyutu", u"En büyük", u"En küçük", u"Açma", u"Kapama",
      // 80
      u"Döndür", u"Çevir", u"Yatay", u"Dikey", u"Frekans alanı görüntüsü",
      u"Temizlenecek bölgeyi seçin", u"Temizle", u"Sıfırla", u"Canlandır", u"Filtre yükle",
      // 90
      u"Filtre kaydet", u"Kabartma haritası", u"Yazdır", u"Kenar boşlukları", u"inç", u"Sağ",
      u"Alt", u"Konum", u"Boyut", u"Normal",
      // 100
      u"Sayfaya sığdır", u"Sayfaya uzat", u"Belirtilen boyut", u"Gama düzeltmesi", u"Değer",
      u"Yazdırma ayarları", u"Sol kenar boşluğu", u"Üst kenar boşluğu", u"Sağ kenar boşluğu",
      u"Alt kenar boşluğu",
      // 110
      u"Konum/boyut", u"Sol üst", u"Üst orta", u"Sağ üst", u"Sol orta", u"Orta", u"Sağ orta",
      u"Sol alt", u"Alt orta", u"Sağ alt",
      // 120
      u"Kapat", u"Uygula", u"Ölçü birimleri", u"Birimler", u"Oran", u"Tüm grafikler",
      u"Video for Windows", u"Dosya", u"Bellek",
      u"Önizlemeyi seçtiğiniz değişikliklerle otomatik olarak günceller",
      // 130
      u"Tümünü yazdır", u"Seçileni yazdır", u"Yaygın grafik dosyaları", u"Tüm dosyalar", u"HSV",
      u"HSL", u"RGB", u"FFT", u"Keskinleştir", u"Kanallar",
      // 140
      u"Seçenekler", u"Küçük harfli uzantı", u"piksel", u"kare", u"bit", u"bayt", u"dpi", u"KB",
      u"Sığdır",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msTurkish, kTexts);
}
