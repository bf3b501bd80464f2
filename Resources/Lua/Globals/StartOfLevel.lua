-- Runs after a tile level has been loaded.

-- Each level starts with an empty player list; the player objects' init
-- scripts add themselves.
PLAYER_LIST = {}
