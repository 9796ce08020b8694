// @ts-check
// Every text of the page, one table per language: French here, English in
// i18n_en.js (loaded first). French is the default, with
// the dialog's own words where they fit, and the README's words throughout
// (image, release, sample, value, entry, table in use). Entries that take
// numbers are functions, plurals included; plan problems, table stops and
// audio warnings are worded here from their codes and numbers.
'use strict';

const hex = n => '0x' + n.toString(16).toUpperCase();
const hexWord = n => '0x' + n.toString(16).toUpperCase().padStart(8, '0');
const list = items => items.join(', ');

const TEXTS = {
  fr: {
    lang: 'fr', otherLang: 'en', otherLanguage: 'English',
    intro: 'Ouvrez une image de Rom (ou déposez-la sur sa zone). Rien ne quitte votre machine.',
    imageSection: 'Image', criesSection: 'Cris de la table en service', detailSection: 'Cri sélectionné',
    rom: 'Image:', romDropHint: 'ou déposez une image ici', openTitle: 'Ouvrir une image (Ctrl+O)',
    release: 'Version:', tableOffset: 'Table en service:', entriesShown: 'Entrées:', foundBy: 'Trouvée par:',
    reverse: 'Table inverse:', none: 'aucune', species: "IDs en numéros d'espèce",
    tableInput: 'Position de la table (hex, vide: trouvée seule):', entriesInput: "Nombre d'entrées (vide: mesuré):",
    reread: 'Relire',
    tableStop: s => `La table s'arrête après ${s.index} ${s.index > 1 ? 'entrées' : 'entrée'}, loin des ` +
      `${s.games} des jeux: l'entrée ${s.index} à ${hex(s.at)} ` +
      ({ImageEnd: "dépasse la fin de l'image",
        VoiceWord: `commence par ${hexWord(s.word)}, qui n'est pas un mot de voix`,
        Pointer: `pointe vers ${hexWord(s.word)}, hors de l'image`,
        LastWord: `finit par ${hexWord(s.word)} au lieu de FF 00 FF 00`})[s.reason] +
      (s.resumes ? `; ${s.resumes} ${s.resumes > 1 ? 'entrées la suivent' : 'entrée la suit'} avec les bons mots.`
                 : '.'),
    useEntries: n => `Lire ${n} entrées`,
    id: 'ID', index: 'Index', offset: 'Position du sample', length: 'Valeurs', secondsHead: 'Secondes',
    bytes: 'Octets', kind: 'Type', inStep: 'Table inverse à jour', wave: 'Forme', play: 'Écouter',
    dump: 'Enregistrer en WAV', dumpHead: 'WAV',
    playRowTitle: 'Écouter ce cri dans le mode choisi (Espace sur sa ligne)', dumpTitle: 'Enregistrer ce cri en WAV (D sur sa ligne)',
    playTitle: 'Écouter le cri sélectionné tel que le jeu le joue, dans le mode choisi (Espace sur sa ligne)', stop: 'Arrêter', stopTitle: 'Arrêter le son (Échap)',
    compressed: 'compressé', uncompressed: 'non compressé', unknown: 'inconnu',
    pointers: 'Pointée par le code à:',
    unusedTable: (old, table) => `La table de la version à ${hex(old)} n'est plus utilisée: le code pointe vers ${hex(table)}.`,
    ambiguous: tables => `Le code pointe vers plusieurs tables des cris (${tables.map(hex).join(', ')}): ` +
                         'donnez la position de celle à modifier.',
    yes: 'oui', no: 'non',
    selected: (id, index) => id === null ? `Entrée ${index}` : `Cri ${id}`,
    noSelection: 'Cliquez sur un cri pour le sélectionner (ou Tab jusqu\'à la liste, puis les flèches).',
    replace: 'Son:', dropHint: 'Choisissez un son, ou déposez-le sur la liste: il remplace le cri sélectionné.',
    newSound: 'Nouveau son', before: 'Avant', after: 'Après', duration: 'Durée', rateHead: 'Fréquence',
    quality: 'Fidélité', place: 'Emplacement', freeAfter: 'Espace libre après',
    seconds: x => `${x.toFixed(3)} s`,
    bytesCount: n => `${n} ${n > 1 ? 'octets' : 'octet'}`,
    silence: 'silence: le nouveau son ne contient rien',
    exact: 'exacte: les valeurs sont gardées telles quelles',
    snrWords: (db, word) => `${word} (rapport signal/bruit ${db.toFixed(1)} dB)`,
    good: 'bonne', fair: 'moyenne', poor: 'faible',
    fits: (seconds, bytes) => `La place la plus grande tient ${seconds.toFixed(3)} s (${bytes} octets).`,
    holds: (seconds, values) => `Un sample de ce type tient au plus ${values} valeurs (${seconds.toFixed(3)} s).`,
    cutTo: seconds => `Couper à ${seconds.toFixed(3)} s`,
    lowerTo: rate => `Baisser la fréquence à ${rate} Hz`,
    newSample: 'Nouveau sample', sampleKind: 'Type:', rate: 'Fréquence (Hz, vide: celle du sample remplacé):',
    badRate: (min, max) => `Fréquence invalide! De ${min} à ${max} Hz.`,
    encoder: 'Encoder', applyTitle: 'Appliquer le nouveau son au cri (Ctrl+Entrée)',
    playNew: 'Écouter le nouveau', playNewTitle: 'Le nouveau sample tel que le jeu le jouera, dans le mode choisi',
    playBoth: 'Avant puis après', playBothTitle: 'Le cri actuel, puis le nouveau, dans le mode choisi',
    playingBoth: mode => `Lecture de l'avant puis de l'après, en mode ${mode}.`,
    mode: 'Mode:', modeTitle: 'Comment le jeu joue le cri: Écouter le joue ainsi',
    heardHead: 'Entendu', sortHeardTitle: 'Trier par les secondes entendues en mode normal (encore: dans l\'autre sens, puis dans l\'ordre de la table)',
    cutMark: 'coupé par le jeu en mode normal',
    heardSnr: db => `; tel que joué: ${db.toFixed(1)} dB`,
    // The core's mode names, worded.
    modes: {normal: 'normal', doubles: 'combat double', encounter: 'rencontre', 'high-pitch': 'aigu',
            'echo-start': "début d'écho", faint: 'K.O.', 'echo-end': "fin d'écho", 'roar-1': 'rugissement 1',
            'roar-2': 'rugissement 2', 'growl-1': 'grognement 1', 'growl-2': 'grognement 2', weak: 'affaibli',
            'weak-doubles': 'affaibli en combat double'},
    thisCry: 'Ce cri',
    cutsAt: (mode, at) => `coupé à ${at} en mode ${mode}`,
    fadesAndCuts: (mode, from, at) => `estompé dès ${from} et coupé à ${at} en mode ${mode}`,
    cutsOf: (who, words) => `${who}: ${words.join('; ')}.`,
    noCuts: (who, names) => `${who}: ni ${names.map(n => `le mode ${n}`).join(' ni ')} ne le coupe.`,
    heardIn: mode => `Entendu (${mode})`,
    heardSeconds: (s, cut) => `${s.toFixed(3)} s${cut ? ', coupé' : ''}`,
    silent: "silence: l'octet de voix ne joue pas ce sample",
    edits: 'Modifications', noEdits: 'Aucune modification.', freeSpace: 'Espace libre restant:',
    undo: 'Annuler', undoTitle: 'Annuler la dernière modification (Ctrl+Z)',
    redo: 'Rétablir', redoTitle: 'Rétablir la modification annulée (Ctrl+Y ou Ctrl+Maj+Z)',
    downloadRom: "Télécharger l'image", downloadTitle: "Télécharger l'image modifiée (Ctrl+S)",
    downloadPatch: 'Télécharger le patch',
    revert: 'Retirer',
    revertLabel: (n, id, index) => `Retirer la modification ${n} (${id === null ? `entrée ${index}` : `cri ${id}`})`,
    edit: (id, index, at, bytes) => `${TEXTS.fr.selected(id, index)}: ${bytes} octets à ${hex(at)}`,
    sources: {Given: 'donnée', Known: 'version connue', Moved: 'déplacée depuis la position de la version',
              Scan: 'recherche de la table', None: 'aucune'},
    loading: 'Chargement du moteur…',
    startingImage: name => `Le moteur démarre: ${name} s'ouvrira dès qu'il sera prêt.`,
    startingSound: name => `Le moteur démarre: ${name} sera pris dès qu'il sera prêt.`,
    opened: (name, n) => `${name} ouverte: ${n} ${n > 1 ? 'entrées' : 'entrée'}.`,
    openedShort: (name, n) => `${name} ouverte, mais sa table semble coupée: ${n} ${n > 1 ? 'entrées' : 'entrée'} ` +
                              'seulement. Voyez la raison près de la table.',
    openProblem: (problem, error, name) => `${name}: ` + (TEXTS.fr.openProblems[problem] || `Fichier invalide! (${error})`),
    noTable: name => `${name}: aucune table de cris dans ce fichier; il n'est pas ouvert.`,
    badOffset: 'Position invalide! Un nombre hexadécimal.',
    badEntries: "Nombre d'entrées invalide! Un entier d'au moins 1.",
    playing: (id, index) => `Lecture ${id === null ? `de l'entrée ${index}` : `du cri ${id}`}.`,
    played: (id, index) => `Fin de la lecture ${id === null ? `de l'entrée ${index}` : `du cri ${id}`}.`,
    playStopped: (id, index) => `Lecture ${id === null ? `de l'entrée ${index}` : `du cri ${id}`} arrêtée.`,
    cannotPlay: 'Ce cri ne se lit pas.',
    dumped: name => `${name} téléchargé.`,
    packFiles: 'Remplacer plusieurs cris (fichiers nommés comme dump-all les nomme):',
    packTitle: 'Lot de sons', packCry: 'Cri', packFile: 'Fichier', packOutcome: 'Résultat',
    packApply: 'Appliquer le lot', packDiscard: 'Abandonner le lot', packDiscarded: 'Lot abandonné.',
    packName: n => `Lot de ${n} cri${n > 1 ? 's' : ''}`, packNoImage: "Ouvrez d'abord une image.",
    packEdit: (n, bytes) => `${TEXTS.fr.packName(n)}: ${bytes} octets`,
    packRevertLabel: (i, n) => `Retirer la modification ${i} (lot de ${n} cri${n > 1 ? 's' : ''})`,
    packReading: n => `Lecture de ${n} fichier${n > 1 ? 's' : ''}…`,
    packNoCries: n => `Aucun des ${n} fichiers n'est nommé pour un cri (cry-NNN, species-NNN, index-NNNN).`,
    packRefused: n => `Lot refusé: ${n} fichier${n > 1 ? 's' : ''} ne ${n > 1 ? 'peuvent' : 'peut'} être pris.`,
    packPlanned: n => `${TEXTS.fr.packName(n)} prêt: « Appliquer le lot » l'écrit en une fois.`,
    packApplied: n => `${TEXTS.fr.packName(n)} appliqué.`, packMoved: at => `déplacé à ${hex(at)}`,
    packIgnored: names => `Ignorés: ${list(names)}.`,
    packLoudnessBox: 'Égaliser le volume entendu sur la médiane des autres cris (--match-loudness)',
    packLoudness: db => db === null ? 'Aucun autre cri de la table ne s\'entend: volume laissé tel quel.'
      : `Volume entendu amené à ${db.toFixed(1)} dB.`,
    packFitBox: 'Choisir le débit de chaque cri pour que tout le lot tienne (--fit)',
    packMinRate: 'Débit le plus bas permis (Hz):',
    packFitted: (low, median, bytes) =>
      `Débits choisis: le plus bas ${low} Hz, médian ${median} Hz; ${bytes} octets de nouveaux échantillons.`,
    packFitWouldFit: hz => `« Choisir le débit de chaque cri » le ferait tenir, aucun cri sous ${hz} Hz.`,
    packNoFit: n => `Lot refusé: même aux débits les plus bas, il manque ${n} octets.`,
    packBadMinRate: (min, max) => `Le débit le plus bas doit être un nombre entier entre ${min} et ${max} Hz.`,
    packBudget: 'Octets permis aux nouveaux échantillons (vide: l\'espace libre):',
    packBadBudget: 'Les octets permis doivent être un nombre entier positif, ou rien.',
    packTotal: (n, used, left) => `${n} cri${n > 1 ? 's' : ''}; ${used} octets d'espace libre pris, ${left} restants.`,
    packProblems: {
      NoCryOfItsOwn: () => "cet ID n'a pas de cri à lui", PastTable: () => 'au-delà de la table en service',
      Twice: f => `entrée déjà donnée par ${f.other}`, NoAudio: () => 'aucun son lisible',
      TooLong: f => `trop long pour un échantillon ${f.kind}`, NoResample: f => `ne se convertit pas à ${f.rate} Hz`,
    },
    saveAll: 'Tout enregistrer en WAV', saveAllTitle: 'Chaque cri en WAV, dans un zip nommé comme dump-all les nomme',
    savedAll: (n, name) => `${n} cri${n > 1 ? 's' : ''} en WAV dans ${name}.`,
    tooLong: (n, max) => `Son trop long: ${n} valeurs, un sample de ce type en contient au plus ${max}.`,
    noAudio: 'Ce fichier ne contient aucun son lisible.',
    raw: 'WAV 8 bits mono à la bonne fréquence: pris octet par octet.',
    rawUnconditioned: 'WAV 8 bits mono à la bonne fréquence: pris octet par octet. ' +
                      'Le conditionnement ne s\'y applique pas.',
    converted: rate => `Son converti à ${rate} Hz.`,
    inPlace: at => `en place, à ${hex(at)}`,
    free: (at, tables, n) => `dans l'espace libre à ${hex(at)}; ${tables} ${n > 1 ? 'repointées' : 'repointée'}`,
    voices: tables => `; octet de voix réécrit (${tables})`,
    tables: {cry: 'table des cris', reverse: 'table inverse'},
    refusedWord: 'Refusé:',
    refused: text => `Refusé: ${text}`,
    encoded: (id, index, at) => `${id === null ? `Entrée ${index} encodée` : `Cri ${id} encodé`} à ${hex(at)}.`,
    undone: (name, n) => `Modification de ${name} annulée; ${n} ${n > 1 ? 'restantes' : 'restante'}.`,
    reverted: (name, n) => `Modification de ${name} retirée; ${n} ${n > 1 ? 'restantes' : 'restante'}.`,
    revertedHidden: (name, later) => `Modification de ${name} retirée, mais ${later > 1 ? `${later} modifications ` +
      'suivantes du même cri restent' : 'une modification suivante du même cri reste'}: c'est elle que le cri garde.`,
    redone: name => `Modification de ${name} rétablie.`,
    redoRefused: (name, text) => `La modification de ${name} ne s'applique plus: ${text}`,
    replanned: (table, n) => `Table à ${hex(table)}: ${n > 1 ? `les ${n} modifications restent` : 'la modification reste'} en place.`,
    replannedChanged: (table, n, dropped, moved) => `Modifications recalculées pour la table à ${hex(table)}.` +
      (dropped.length ? ` Ne tiennent plus et sont retirées: ${list(dropped)}.` : '') +
      (moved.length ? ` Déplacées: ${list(moved)}.` : '') + ` ${n} ${n > 1 ? 'restent' : 'reste'}.`,
    downloaded: name => `${name} téléchargée.`,
    patchDownloaded: name => `${name} téléchargé: il s'applique à l'image telle qu'ouverte.`,
    discard: n => `${n > 1 ? `Les ${n} modifications` : 'La modification'} non ${n > 1 ? 'téléchargées' : 'téléchargée'} ` +
                  `${n > 1 ? 'seront perdues' : 'sera perdue'}. Continuer?`,
    discardDeclined: name => `${name} n'est pas ouverte: l'image et ses modifications restent.`,
    soundAsImage: name => `${name} est un son: déposez-le sur la liste des cris, pas sur la zone de l'image.`,
    imageAsSound: name => `${name} ressemble à une image: déposez-la sur la zone de l'image.`,
    selectFirst: "Sélectionnez d'abord le cri à remplacer.",
    dropWhere: "Déposez une image sur la zone de l'image, ou un son sur la liste des cris.",
    entry: i => `l'entrée ${i}`,
    problems: {
      IndexPastTable: p => `se trouve après la table des cris, qui a ${p.room} entrées`,
      EntryNotInImage: () => "son entrée ne pointe pas dans l'image",
      BadSample: () => "les octets du nouveau sample ne correspondent pas à sa longueur",
      DoesNotFit: p => `le nouveau sample demande ${p.bytes} octets mais sa place n'en a que ${p.room}`,
      NoFreeSpace: p => `pas d'espace libre pour ${p.bytes} octets (le plus grand bloc libre en a ${p.room})`,
      Unaligned: p => `la position ${hex(p.offset)} n'est pas un multiple de 4`,
      PastEnd: p => `${p.bytes} octets à ${hex(p.offset)} dépasseraient la fin de l'image`,
      Protected: p => `${p.bytes} octets à ${hex(p.offset)} écraseraient l'en-tête, une table ou un autre sample`,
      NotASample: p => `${hex(p.offset)} ne contient aucun sample`,
      NotFree: p => `${hex(p.offset)} ne contient ni sample ni espace libre`,
      TwiceInOnePlan: () => 'modifiée deux fois dans la même édition',
      NoTable: () => "l'image n'a pas de table des cris",
      AmbiguousTable: (/** @type {Problem} */ p, /** @type {OpenResult} */ info) =>
        `le code pointe vers plusieurs tables des cris (${info.competing_tables.map(hex).join(', ')}); ` +
                                   'indiquez la position de celle à modifier',
    },
    openProblems: {
      TooLarge: 'Fichier invalide! Plus de 64 Mio: ce n\'est pas une image de Rom.',
      Unreadable: "Fichier illisible: le navigateur n'a pas pu le lire. A-t-il changé depuis qu'il a été choisi?",
      TableUnaligned: 'Position invalide! La table commence à un multiple de 4.',
      TablePastEnd: "Position invalide! La table dépasse la fin de l'image.",
      TableNoEntries: 'Position invalide! Aucune entrée de table à cette position.',
      EntriesTooMany: "Nombre d'entrées invalide! La table dépasserait la fin de l'image.",
    },
    conditioning: 'Conditionnement', channel: 'Canal:', mix: 'Mélange', left: 'Gauche', right: 'Droite',
    dcRemove: 'Retirer le décalage continu', trim: 'Couper les silences sous', gain: 'Gain',
    normalize: 'Normaliser le pic à',
    badDb: 'Valeur en dB invalide! Coupe: de -150 à 0; pic: de -100 à 0.',
    allTrimmed: 'Rien ne dépasse le seuil de coupe: tout le son serait coupé.',
    // The core's warnings, by code, worded from their fields.
    warnings: {
      MixLostEnergy: w => `Le mélange des ${w.channels} canaux garde ${w.kept_percent.toFixed(0)} % de l'énergie du plus fort ` +
           '(opposition de phase?): choisissez le canal gauche ou droit',
      Clipping: w => `${w.clipped} ${w.clipped > 1 ? 'valeurs dépassent' : 'valeur dépasse'} la pleine échelle et ` +
           `${w.clipped > 1 ? 'sont écrêtées' : 'est écrêtée'}: baissez le gain ou normalisez`,
      DcOffset: w => `Le son est décalé de ${w.offset_percent.toFixed(1)} % de la pleine échelle, ce qui claque à ses ` +
           'extrémités: retirez le décalage continu',
      PoorEncoding: w => `Le codage garde mal ce son (rapport signal/bruit ${w.snr_db.toFixed(1)} dB, erreur maximale ${w.peak_error} pas): ` +
           'baissez le gain',
      RateMismatch: w => `Le WAV est à ${w.wav_rate.toFixed(0)} Hz mais ses octets seraient lus à ${w.sample_rate.toFixed(0)} Hz ` +
           `(${(Math.max(w.wav_rate, w.sample_rate) / Math.min(w.wav_rate, w.sample_rate)).toFixed(2)} fois)`,
      // What the game will play of it.
      CutInNormal: w => `Le jeu coupe ce son en mode normal: on en entend ${w.seconds_heard.toFixed(3)} s, écho compris, ` +
           `de ses ${w.seconds_stored.toFixed(3)} s`,
      CutInModes: w => `Il est coupé aussi en mode ${list(w.modes.map(m => TEXTS.fr.modes[m] || m))}`,
      RateAboveMixer: w => `Ce sample est à ${w.rate} Hz, mais le jeu le mixe à 13379 Hz: ${w.extra_bytes} de ses ${w.bytes} ` +
           `octets ne s'entendent pas (${w.bytes_at_mixer_rate} à 13379 Hz)`,
      WrapsWithChorus: w => `En mode ${list(w.modes.map(m => TEXTS.fr.modes[m] || m))}, sa seconde voix fait déborder ` +
           `${w.wrapped} ${w.wrapped > 1 ? 'valeurs' : 'valeur'}: le son grésille; baissez le gain`,
      LoudnessOff: w => `Ce cri sonne à ${w.loudness_db.toFixed(1)} dB, loin des ${w.median_db.toFixed(1)} dB des autres cris ` +
           `de la table: ${w.loudness_db > w.median_db ? 'baissez' : 'montez'} le gain`,
    },
    // Why the engine did not start, by the reason page.js and engine.js give.
    engineFailure: (reason, error) => `${TEXTS.fr.engineFailed[reason]} (${error})`,
    engineFailed: {
      missing: 'Le moteur (brevox.js) manque ou est abîmé: remettez le dossier de la page en entier.',
      worker: 'Le moteur n\'a pas pu démarrer: ce navigateur refuse son Web Worker.',
      engine: 'Le moteur n\'a pas pu démarrer: son WebAssembly ne se charge pas (brevox.js abîmé?).',
    },
  },
  en: TextsEn,
};
