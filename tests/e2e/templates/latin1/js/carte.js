// Écrit le message d'accueil — « bon appétit »
document.getElementById('js-latin').textContent = 'Spécialités du jour : crème, pâté, œufs — 9 € ; Grüße';
