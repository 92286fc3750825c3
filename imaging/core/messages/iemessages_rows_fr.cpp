// French captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillFrenchMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Aperçu", u"Original", u"Résultat", u"OK", u"Annuler", u"Verrouiller l'aperçu",
      u"Copier le résultat vers l'original", u"Contraste", u"Luminosité",
      // 10
      u"Teinte", u"Saturation", u"Valeur", u"Couleur de base", u"Nouvelle couleur", u"Luminance",
      u"Rouge", u"Vert", u"Bleu", u"Valeurs du filtre",
      // 20
      u"Préréglages", u"Diviseur", u"Charger", u"Enregistrer", u"Égalisation", u"Seuil",
      u"Égaliser", u"Histogramme", u"Gris", u"Lumière",
      // 30
      u"Gauche", u"Haut", u"Largeur", u"Hauteur", u"Couleur", u"Quantité d'image d'origine",
      u"Lentille", u"Réfraction", u"Aperçu des paramètres", u"Qualité",
      // 40
      u"Méthode DCT", u"Facteur de lissage", u"Niveaux de gris", u"Huffman optimal",
      u"Taille d'origine", u"Taille compressée", u"Avancé", u"Progressif", u"Compression",
      u"Index de l'image",
      // 50
      u"Photométrie", u"Infos du document numérisé", u"Nom", u"Description", u"Nom de la page",
      u"Numéro de page", u"sur", u"Position horiz. (pouces)", u"Position vert. (pouces)",
      u"Couleurs",
      // 60
      u"Transparent", u"Couleur transparente", u"Entrelacé", u"Arrière-plan", u"Position horiz.",
      u"Position vert.", u"Délai", u"Filtre", u"Onde", u"Amplitude",
      // 70
      u"Longueur d'onde", u"Phase", u"Réfléchissant", u"Filtre utilisateur",
      u"Filtres morphologiques", u"Taille de fenêtre", u"Maximum", u"Minimum", u"Ouverture",
      u"Fermeture",
      // 80
      u"Rotation", u"Retourner", u"Horizontal", u"Vertical", u"Image dans le domaine fréquentiel",
      u"Sélectionnez la zone à nettoyer", u"Effacer", u"Réinitialiser", u"Animer",
      u"Charger un filtre",
      // 90
      u"Enregistrer le filtre", u"Carte de relief", u"Imprimer", u"Marges", u"pouces", u"Droite",
      u"Bas", u"Position", u"Taille", u"Normal",
      // 100
      u"Ajuster à la page", u"Étirer sur la page", u"Taille spécifiée", u"Correction gamma",
      u"Valeur", u"Configuration de l'impression", u"Marge gauche", u"Marge haute",
      u"Marge droite", u"Marge basse",
      // 110
      u"Position/taille", u"En haut à gauche", u"En haut au centre", u"En haut à droite",
      u"Au centre à gauche", u"Centre", u"Au centre à droite", u"En bas à gauche",
      u"En bas au centre", u"En bas à droite",
      // 120
      u"Fermer", u"Appliquer", u"Unités de mesure", u"Unités", u"Taux", u"Toutes les images",
      u"Video for Windows", u"Fichier", u"Mémoire",
      u"Met à jour automatiquement l'aperçu avec les modifications choisies",
      // 130
      u"Tout imprimer", u"Imprimer la sélection", u"Fichiers graphiques courants",
      u"Tous les fichiers", u"TSV", u"TSL", u"RVB", u"FFT", u"Netteté", u"Canaux",
      // 140
      u"Options", u"Extension en minuscules", u"pixel", u"images", u"bit", u"octet", u"ppp", u"Ko",
      u"Ajuster",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msFrench, kTexts);
}
