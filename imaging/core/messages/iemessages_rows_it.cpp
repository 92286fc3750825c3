// Italian captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillItalianMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Anteprima", u"Originale", u"Risultato", u"OK", u"Annulla", u"Blocca anteprima",
      u"Copia risultato nell'originale", u"Contrasto", u"Luminosità",
      // 10
      u"Tonalità", u"Saturazione", u"Valore", u"Colore base", u"Nuovo colore", u"Luminanza",
      u"Rosso", u"Verde", u"Blu", u"Valori filtro",
      // 20
      u"Predefiniti", u"Divisore", u"Carica", u"Salva", u"Equalizzazione", u"Soglia",
      u"Equalizza", u"Istogramma", u"Grigio", u"Luce",
      // 30
      u"Sinistra", u"Alto", u"Larghezza", u"Altezza", u"Colore", u"Quantità immagine originale",
      u"Lente", u"Rifrazione", u"Anteprima parametri", u"Qualità",
      // 40
      u"Metodo DCT", u"Fattore di smussatura", u"Scala di grigi", u"Huffman ottimale",
      u"Dimensione originale", u"Dimensione compressa", u"Avanzate", u"Progressivo",
      u"Compressione", u"Indice immagine",
      // 50
      u"Fotometria", u"Informazioni documento acquisito", u"Nome", u"Descrizione", u"Nome pagina",
      u"Numero pagina", u"di", u"Posizione orizz. (pollici)", u"Posizione vert. (pollici)",
      u"Colori",
      // 60
      u"Trasparente", u"Colore trasparente", u"Interlacciato", u"Sfondo", u"Posizione orizz.",
      u"Posizione vert.", u"Ritardo", u"Filtro", u"Onda", u"Ampiezza",
      // 70
      u"Lunghezza d'onda", u"Fase", u"Riflettente", u"Filtro utente", u"Filtri morfologici",
      u"Dimensione finestra", u"Massimo", u"Minimo", u"Apertura", u"Chiusura",
      // 80
      u"Ruota", u"Capovolgi", u"Orizzontale", u"Verticale", u"Immagine nel dominio della frequenza",
      u"Seleziona l'area da pulire", u"Cancella", u"Ripristina", u"Anima", u"Carica filtro",
      // 90
      u"Salva filtro", u"Mappa di rilievo", u"Stampa", u"Margini", u"pollici", u"Destra", u"Basso",
      u"Posizione", u"Dimensione", u"Normale",
      // 100
      u"Adatta alla pagina", u"Estendi alla pagina", u"Dimensione specificata",
      u"Correzione gamma", u"Valore", u"Imposta stampa", u"Margine sinistro",
      u"Margine superiore", u"Margine destro", u"Margine inferiore",
      // 110
      u"Posizione/dimensione", u"In alto a sinistra", u"In alto al centro", u"In alto a destra",
      u"Al centro a sinistra", u"Al centro", u"Al centro a destra", u"In basso a sinistra",
      u"In basso al centro", u"In basso a destra",
      // 120
      u"Chiudi", u"Applica", u"Unità di misura", u"Unità", u"Tasso", u"Tutte le immagini",
      u"Video for Windows", u"File", u"Memoria",
      u"Aggiorna automaticamente l'anteprima con le modifiche selezionate",
      // 130
      u"Stampa tutto", u"Stampa selezionati", u"File grafici comuni", u"Tutti i file", u"HSV",
      u"HSL", u"RGB", u"FFT", u"Nitidezza", u"Canali",
      // 140
      u"Opzioni", u"Estensione in minuscolo", u"pixel", u"fotogrammi", u"bit", u"byte", u"dpi",
      u"KB", u"Adatta",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msItalian, kTexts);
}
