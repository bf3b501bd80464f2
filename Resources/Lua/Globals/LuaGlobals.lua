-- Globals shared by every script. Runs once at start-up and again on the
-- console command "globalReload", so it keeps what is already set.

-- The player objects, indexed from 1; player scripts add themselves here.
PLAYER_LIST = PLAYER_LIST or {}
