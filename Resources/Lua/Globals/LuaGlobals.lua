-- Globals shared by every script. Run once at start-up and again by the
-- console command "globalReload".

-- The player objects, indexed from 1; object scripts add themselves here.
PLAYER_LIST = {}
